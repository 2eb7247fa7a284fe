# zento_add_test(NAME name SOURCES ... [LIBS ...] [LABEL label] [QT] [GL] [TIMEOUT seconds])
#
# Builds one GoogleTest executable into <build>/tests and registers each of its cases with ctest
# (gtest_discover_tests), named "<name>:<Suite>.<Case>", so that `ctest -R` picks single cases
# and a failure names its case.
#   QT    : widgets, timers or the event loop: linked with the one Qt test main
#           (tests/common/qt_test_main.cpp); runs on the offscreen platform.
#   GL    : draws with OpenGL: runs on X (the test command runs ctest inside xvfb-run); implies
#           QT. Without a display the cases skip themselves.
#   LABEL : what the test does, for `ctest -L`: unit (pure code, no Qt, no processes), gui (Qt
#           widgets offscreen), gl (OpenGL on X), integration (other processes, pseudo-terminals
#           or the real clock). Default: unit, or gui for QT and gl for GL.
# The tests find the program's folder and the source tree through ZENTO_BIN_DIR and
# ZENTO_SOURCE_DIR when set, else through the paths compiled in (test_paths.h).
function(zento_add_test)
  cmake_parse_arguments(T "QT;GL" "NAME;TIMEOUT;LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
  target_compile_definitions(${T_NAME} PRIVATE
    ZENTO_TEST_BIN_DIR="${CMAKE_BINARY_DIR}/bin" ZENTO_TEST_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  set(label ${T_LABEL})
  if(T_GL)
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} zento_gl_test_main GTest::gtest GTest::gmock)
    if(NOT label)
      set(label gl)
    endif()
  elseif(T_QT)
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} zento_qt_test_main GTest::gtest GTest::gmock)
    if(NOT label)
      set(label gui)
    endif()
  else()
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  endif()
  if(NOT label)
    set(label unit)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  gtest_discover_tests(${T_NAME}
    TEST_PREFIX "${T_NAME}:"
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS ${label} TIMEOUT ${T_TIMEOUT})
endfunction()
