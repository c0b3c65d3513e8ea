# SPDX-License-Identifier: MIT
# wd_test(<name> LABEL <unit|component|system|fuzz> SOURCES ... [LIBS ...] [TIMEOUT s] [THREADS])
#
# One CTest entry per test program. Unit tests are the only ones run in the
# arm64 build (under qemu-user, where netlink and namespaces do not work).
# A program in which no test passed and at least one was skipped exits
# with 77 (testkit/gtest_main.cpp), which CTest reports as skipped;
# a program that also passed some tests is reported as passed, and one that
# failed any as failed.
function(wd_test name)
  cmake_parse_arguments(T "THREADS" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  if(WD_CROSS AND NOT T_LABEL STREQUAL "unit")
    return()
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest wd_gtest_main)
  if(WD_CROSS AND T_THREADS)
    # Debian 12's qemu-aarch64 (7.2) hangs in pthread_create on this project's
    # hosts, so a test that starts a thread is built for arm64 but reported
    # as skipped there; the native and sanitizer builds run it.
    add_test(NAME ${name} COMMAND sh -c
      "echo 'SKIPPED: ${name} starts a thread, and qemu-aarch64 7.2 hangs in pthread_create'; exit 77")
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  # COST: a fresh build has no timings of earlier runs, and a long test
  # started last leaves a core idle at the end; a longer limit goes first.
  set_tests_properties(${name} PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT}
    COST ${T_TIMEOUT} SKIP_RETURN_CODE 77)
endfunction()
