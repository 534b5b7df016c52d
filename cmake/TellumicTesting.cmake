# tellumic_add_gtest(NAME SOURCES... LIBS ...): a GoogleTest program registered with CTest.
# Every test gets its own fresh TELLUMIC_HOME from the fixture; the environment here only
# keeps Qt offscreen so that no test needs a display.
function(tellumic_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} tellumic_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
  include(GoogleTest)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    NO_PRETTY_VALUES
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# tellumic_add_qt_gtest(NAME SOURCES... LIBS ...): as above, for tests that need a
# QApplication (widgets, timers, the event loop); runs on the offscreen platform.
function(tellumic_add_qt_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/qt_main.cpp)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} tellumic_testsupport Qt6::Widgets GTest::gtest GTest::gmock)
  include(GoogleTest)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    NO_PRETTY_VALUES
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
