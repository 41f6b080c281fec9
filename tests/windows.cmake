# The tests of the Windows build: those that run in memory, on files, or over
# the in-memory port in front of the simulated meter. The tests over
# pseudo-terminals and with Linux peers (libmodbus, pymodbus, xlrd,
# LibreOffice) stay with the Linux build; the COM port and the network line
# are tested end to end by tests/windows/wine_e2e.sh.
# On Windows itself an installed GoogleTest (MSYS2's package) is found.
set(FLOVIR_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest's sources")
if(EXISTS ${FLOVIR_GTEST_SOURCE_DIR}/CMakeLists.txt)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${FLOVIR_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
endif()

add_subdirectory(support)

flovir_test(flovir_base_tests
  SOURCES base/serial_date_test.cpp base/cp1251_test.cpp base/executor_test.cpp
  LIBS flovir_workbook flovir_link
  LABELS "base;threaded")

flovir_test(flovir_workbook_tests
  SOURCES workbook/biff5_records_test.cpp workbook/model_test.cpp workbook/column_fit_test.cpp
    workbook/compound_file_test.cpp workbook/round_trip_test.cpp
  LIBS flovir_workbook flovir_test_support
  LABELS "workbook")

flovir_test(flovir_workbook_reader_tests
  SOURCES workbook-reader/reader_test.cpp workbook-reader/round_trip_test.cpp
  LIBS flovir_workbook flovir_test_support
  LABELS "workbook")

flovir_test(flovir_reports_tests
  SOURCES reports/number_format_test.cpp reports/register_map_test.cpp
    reports/current_report_test.cpp reports/archive_table_test.cpp
    reports/archive_workbook_test.cpp reports/report_files_test.cpp reports/archive_layout_test.cpp
  LIBS flovir_operations flovir_reports flovir_workbook flovir_link flovir_test_support
  LABELS "reports")

flovir_test(flovir_parameter_tests
  SOURCES parameters/parameter_table_test.cpp parameters/value_conversion_test.cpp
    parameters/parameter_workbook_test.cpp parameters/parameter_operations_test.cpp
  LIBS flovir_parameters flovir_meter_sim flovir_connection flovir_test_support
  LABELS "parameters;threaded")

flovir_test(flovir_collect_tests
  SOURCES collect/fleet_test.cpp collect/export_test.cpp
  LIBS flovir_collect flovir_test_support
  LABELS "collect")

flovir_test(flovir_dispatcher_tests
  SOURCES dispatcher/settings_test.cpp dispatcher/range_test.cpp dispatcher/dispatcher_test.cpp
    dispatcher/archive_test.cpp dispatcher/archive_end_test.cpp
  LIBS flovir_operations flovir_meter_sim flovir_connection flovir_test_support
  LABELS "dispatcher;threaded")

flovir_test(flovir_network_tests
  SOURCES network/system_port_test.cpp
  LIBS flovir_connection flovir_meter_sim
  LABELS "network;threaded")

flovir_test(flovir_modem_tests
  SOURCES modem/connection_test.cpp modem/remote_modem_setup_test.cpp modem/hayes_modem_test.cpp
  LIBS flovir_connection flovir_meter_sim
  LABELS "modem")

flovir_test(flovir_meter_sim_tests
  SOURCES meter-sim/register_map_test.cpp meter-sim/archive_test.cpp meter-sim/fault_test.cpp
  LIBS flovir_meter_sim
  LABELS "meter-sim")

# The window's rules on the offscreen platform. Without a console QtTest
# writes to the debugger; QT_FORCE_STDERR_LOGGING brings its lines to the
# test's output. Wine passes no QT_* variables to the program: under wine
# that one is set inside wine, and the platform goes on the command line.
if(FLOVIR_BUILD_UI)
  find_package(Qt6 6.4 REQUIRED COMPONENTS Test)
  add_executable(flovir_window_tests ui/window_test.cpp)
  set_target_properties(flovir_window_tests PROPERTIES AUTOMOC ON)
  target_include_directories(flovir_window_tests PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(flovir_window_tests PRIVATE flovir_ui Qt6::Test)
  flovir_window_plugins(flovir_window_tests)
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    add_test(NAME flovir_window_tests COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} cmd /c
      "set QT_FORCE_STDERR_LOGGING=1&& flovir_window_tests.exe -platform offscreen"
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  else()
    add_test(NAME flovir_window_tests COMMAND flovir_window_tests -platform offscreen)
    set_tests_properties(flovir_window_tests PROPERTIES ENVIRONMENT QT_FORCE_STDERR_LOGGING=1)
  endif()
  set_tests_properties(flovir_window_tests PROPERTIES LABELS "ui" TIMEOUT 600)
endif()
