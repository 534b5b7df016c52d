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

# tellumic_add_atspi_gtest(NAME SOURCES... LIBS ...): window tests over the accessibility bus.
# The program starts its own Xvfb and private session bus (Qt's offscreen platform has no
# AT-SPI bridge) and reads its windows with the AT-SPI probe, run by Debian's python3 (the one
# that has the AT-SPI bindings, python3-gi and gir1.2-atspi-2.0).
find_program(TELLUMIC_ATSPI_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
function(tellumic_add_atspi_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES}
    ${PROJECT_SOURCE_DIR}/tests/support/atspi_main.cpp
    ${PROJECT_SOURCE_DIR}/tests/support/atspi_probe.cpp)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} tellumic_testsupport Qt6::Widgets GTest::gtest GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    TELLUMIC_ATSPI_PYTHON="${TELLUMIC_ATSPI_PYTHON}"
    TELLUMIC_ATSPI_PROBE="${PROJECT_SOURCE_DIR}/tests/support/atspi_probe.py")
  include(GoogleTest)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    NO_PRETTY_VALUES
    PROPERTIES LABELS atspi TIMEOUT 300)
endfunction()
