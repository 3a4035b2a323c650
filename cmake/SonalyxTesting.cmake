# add_unit_test(name SOURCES a.cpp b.cpp LIBRARIES lib1 lib2 [GUI] [LOCALE] [TIMEOUT s] [LABELS l])
#
# One GoogleTest executable per call, registered with ctest. GUI tests run on
# Qt's offscreen platform so they need no display; every test gets its own
# scratch directory in SONALYX_TEST_TMP.
#
# A test is fast unless it says otherwise: a 60 s timeout, so a hang costs a
# minute. A TIMEOUT above that marks it "slow" (ctest -LE slow leaves those
# out).
#
# LOCALE also runs the test under German settings (name_de_DE), where the C
# library writes and reads a decimal comma: files, pipes and readouts must
# not change. The locale is compiled into the build tree; where that is not
# possible, those runs are reported as skipped.
set(SONALYX_TEST_LOCALE de_DE.UTF-8)
set(SONALYX_LOCALE_DIR ${CMAKE_BINARY_DIR}/locale)
add_custom_command(OUTPUT ${SONALYX_LOCALE_DIR}/status
  COMMAND sh ${PROJECT_SOURCE_DIR}/tests/support/buildlocale.sh ${SONALYX_LOCALE_DIR} de_DE UTF-8
  DEPENDS ${PROJECT_SOURCE_DIR}/tests/support/buildlocale.sh
  COMMENT "Compiling the de_DE.UTF-8 locale for the tests"
  VERBATIM)
add_custom_target(test_locale ALL DEPENDS ${SONALYX_LOCALE_DIR}/status)

function(add_unit_test name)
  cmake_parse_arguments(T "GUI;LOCALE" "TIMEOUT" "SOURCES;LIBRARIES;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBRARIES} GTest::gtest)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 60)
  endif()
  if(T_TIMEOUT GREATER 60)
    list(APPEND T_LABELS slow)
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
  if(T_LOCALE)
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/environmentlocale.cpp)
    add_dependencies(${name} test_locale)
    set(localized ${name}_de_DE)
    add_test(NAME ${localized}
             COMMAND sh ${PROJECT_SOURCE_DIR}/tests/support/inlocale.sh ${SONALYX_LOCALE_DIR} ${SONALYX_TEST_LOCALE}
                     $<TARGET_FILE:${name}>)
    # Its own scratch directory: the two runs may go in parallel.
    set(localizedEnv ${env})
    list(TRANSFORM localizedEnv REPLACE "test-tmp/${name}$" "test-tmp/${localized}")
    set(localizedLabels ${T_LABELS})
    list(APPEND localizedLabels locale)
    set_tests_properties(${localized} PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${localizedEnv}"
                         SKIP_RETURN_CODE 77 LABELS "${localizedLabels}")
  endif()
endfunction()

# add_pipewire_server(test [CONFIGS file...])
#
# Runs `test` against a private PipeWire server of its own (see
# tests/pipewire/server/pipewire-server.sh), started as a ctest fixture before
# it and stopped after it however it ends; CONFIGS names further
# configuration files of that folder. The test finds the server through its
# environment (SONALYX_PIPEWIRE_DIR, _SERVER, _CONFIGS and the XDG variables)
# and exits with 77 when the server could not start, which ctest counts as
# skipped. The tests on such servers run one after another.
function(add_pipewire_server test)
  cmake_parse_arguments(P "" "" "CONFIGS" ${ARGN})
  string(MD5 hash "${CMAKE_BINARY_DIR}/${test}")
  string(SUBSTRING "${hash}" 0 10 hash)
  # Short: the directory holds the server's sockets.
  set(dir /tmp/sonalyx-pw-${hash})
  set(script ${PROJECT_SOURCE_DIR}/tests/pipewire/server/pipewire-server.sh)
  add_test(NAME ${test}_server_up COMMAND sh ${script} up ${dir} ${P_CONFIGS})
  add_test(NAME ${test}_server_down COMMAND sh ${script} down ${dir})
  set_tests_properties(${test}_server_up PROPERTIES FIXTURES_SETUP ${test}_server)
  set_tests_properties(${test}_server_down PROPERTIES FIXTURES_CLEANUP ${test}_server)
  string(REPLACE ";" "," configs "${P_CONFIGS}")
  # One real-time server at a time: two of them running side by side on a
  # small machine starve each other's graph, and a reading at -90 dB shows
  # every lost quantum.
  set_tests_properties(${test} PROPERTIES FIXTURES_REQUIRED ${test}_server SKIP_RETURN_CODE 77
    RESOURCE_LOCK sonalyx_sound_server)
  set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT
    "SONALYX_PIPEWIRE_DIR=${dir}" "SONALYX_PIPEWIRE_SERVER=${script}" "SONALYX_PIPEWIRE_CONFIGS=${configs}"
    "XDG_RUNTIME_DIR=${dir}/run" "XDG_CONFIG_HOME=${dir}/config" "XDG_STATE_HOME=${dir}/state"
    "DBUS_SESSION_BUS_ADDRESS=unix:path=${dir}/run/bus")
endfunction()
