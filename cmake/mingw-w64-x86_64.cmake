# Cross build for 64-bit Windows with Debian's mingw-w64 (package
# g++-mingw-w64-x86-64-posix). The posix thread model gives std::thread and
# std::mutex; -static leaves the programs without mingw DLLs beside them.
# Tests run under wine: ctest prefixes every test program with the emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
# Qt built for mingw (scripts/build-qt-windows.sh) is one more root to find
# the target's packages in; its tools (moc, uic, rcc) are the host's.
if(FLOVIR_QT_WINDOWS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${FLOVIR_QT_WINDOWS})
  list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES FLOVIR_QT_WINDOWS)
endif()
# SQLite for mingw (scripts/build-sqlite-windows.sh), for the history store.
if(FLOVIR_SQLITE_WINDOWS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${FLOVIR_SQLITE_WINDOWS})
  list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES FLOVIR_SQLITE_WINDOWS)
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Release programs without symbols: the window with a static Qt is halved.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")

find_program(FLOVIR_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(FLOVIR_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${FLOVIR_WINE})
endif()
