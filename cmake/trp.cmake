# trp_add_test(NAME SOURCES ... LIBS ... [LABELS ...])
# One ctest entry per test executable: server-backed suites start their server
# once per binary, which keeps the whole run short on a two-core machine.
function(trp_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TRP_SOURCE_DIR=${CMAKE_SOURCE_DIR};TRP_BUILD_DIR=${CMAKE_BINARY_DIR}"
    TIMEOUT 600
    LABELS "${T_LABELS}")
endfunction()
