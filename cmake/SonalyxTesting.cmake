# add_unit_test(name SOURCES a.cpp b.cpp LIBRARIES lib1 lib2 [GUI] [TIMEOUT s] [LABELS l])
#
# One GoogleTest executable per call, registered with ctest. GUI tests run on
# Qt's offscreen platform so they need no display; every test gets its own
# scratch directory in SONALYX_TEST_TMP.
function(add_unit_test name)
  cmake_parse_arguments(T "GUI" "TIMEOUT" "SOURCES;LIBRARIES;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBRARIES} GTest::gtest)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(env "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1"
          "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
          "SONALYX_TEST_TMP=${CMAKE_BINARY_DIR}/test-tmp/${name}"
          "SONALYX_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
  if(T_GUI)
    list(APPEND env "QT_QPA_PLATFORM=offscreen")
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${env}")
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()
