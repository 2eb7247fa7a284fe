# zento_add_test(NAME name SOURCES ... [LIBS ...] [LABELS ...] [GUI] [GL] [QTEST])
#
# Builds one test executable and registers it with ctest.
#   GUI   : needs a Qt platform; runs with QT_QPA_PLATFORM=offscreen.
#   GL    : needs OpenGL; the test command wraps ctest in xvfb-run, so the test
#           only gets the DISPLAY label and expects a real X server.
#   QTEST : a QtTest executable instead of GoogleTest.
# Labels: every test gets "unit" unless LABELS says otherwise.
function(zento_add_test)
  cmake_parse_arguments(T "GUI;GL;QTEST" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(T_QTEST)
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} Qt6::Test)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  else()
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  endif()
  set(labels ${T_LABELS})
  if(NOT labels)
    set(labels unit)
  endif()
  set(env "ZENTO_BIN_DIR=${CMAKE_BINARY_DIR}/bin;ZENTO_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  if(T_GUI)
    list(APPEND labels gui)
    list(APPEND env "QT_QPA_PLATFORM=offscreen")
  endif()
  if(T_GL)
    list(APPEND labels gl)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${labels}" ENVIRONMENT "${env}" TIMEOUT ${T_TIMEOUT})
endfunction()
