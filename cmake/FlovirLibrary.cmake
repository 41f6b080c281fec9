# flovir_platform_sources(VAR): one file per platform. NAME_windows.cpp takes
# the place of NAME.cpp in a Windows build and is left out of the others.
function(flovir_platform_sources var)
  set(sources ${${var}})
  set(windows_sources ${sources})
  list(FILTER windows_sources INCLUDE REGEX "_windows\\.cpp$")
  list(FILTER sources EXCLUDE REGEX "_windows\\.cpp$")
  if(WIN32)
    foreach(windows_source ${windows_sources})
      string(REGEX REPLACE "_windows\\.cpp$" ".cpp" posix_source ${windows_source})
      list(REMOVE_ITEM sources ${posix_source})
    endforeach()
    list(APPEND sources ${windows_sources})
  endif()
  set(${var} ${sources} PARENT_SCOPE)
endfunction()

# flovir_library(NAME DEPS...): a static library of every .cpp file in the
# calling folder, with the repository root on the include path, so that
# headers are included as "link/exchange_request.h".
function(flovir_library name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  flovir_platform_sources(sources)
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()

# flovir_test(NAME LABELS labels... SOURCES files... LIBS libs...): a GoogleTest
# executable registered with CTest. The label "threaded" marks tests that the
# ThreadSanitizer build runs; "slow" marks tests that drive other programs.
function(flovir_test name)
  cmake_parse_arguments(T "" "" "LABELS;SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    FLOVIR_SOURCE_DIR="${PROJECT_SOURCE_DIR}" FLOVIR_BINARY_DIR="${PROJECT_BINARY_DIR}")
  if(WIN32)
    # Under wine every start of a program costs a second: one CTest test per
    # program, not per case.
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}" TIMEOUT 600)
    return()
  endif()
  # gtest_discover_tests passes PROPERTIES through as a flat list, which
  # splits "base;threaded" into two words; the labels are therefore set by
  # a script that CTest includes after the discovered tests.
  gtest_discover_tests(${name} TEST_LIST ${name}_TESTS DISCOVERY_TIMEOUT 60)
  set(labels_script ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
  file(WRITE ${labels_script}
    "foreach(t IN LISTS ${name}_TESTS)\n"
    "  set_tests_properties(\"\${t}\" PROPERTIES LABELS \"${T_LABELS}\")\n"
    "endforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${labels_script})
endfunction()
