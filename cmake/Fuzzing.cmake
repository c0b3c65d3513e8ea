# SPDX-License-Identifier: MIT
# wd_fuzz(<name> SOURCES ... [LIBS ...] [ARGS ...])
#
# One libFuzzer harness (WD_FUZZ builds, clang only) and its CTest entry
# fuzz_<name>, labelled `fuzz`: libFuzzer first runs every input of the
# committed corpus fuzz/<deliverable>/corpus/<name>/, then fuzzes for
# WD_FUZZ_SECONDS. New inputs go to a scratch corpus in the build tree, never
# into the committed one; a crash or a broken contract leaves its reproducer
# in <build>/fuzz/artifacts/<name>/ and fails the test. ARGS are extra
# libFuzzer options (for example -close_fd_mask=3 for code that logs).
# CI's run is a regression check over the corpus plus a short search; longer
# searches are for a developer's machine (-DWD_FUZZ_SECONDS=600).
set(WD_FUZZ_SECONDS 15 CACHE STRING "Seconds each fuzz test fuzzes after its corpus")

function(wd_fuzz name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS;ARGS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/testkit)
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)

  set(corpus ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name})
  if(NOT IS_DIRECTORY ${corpus})
    message(FATAL_ERROR "wd_fuzz(${name}): no seed corpus at ${corpus}")
  endif()
  # -timeout and -rss_limit_mb are far above what any single input needs, so
  # a slow machine cannot fail the test; only a hang or a leak-like growth can.
  add_test(NAME fuzz_${name}
    COMMAND ${CMAKE_COMMAND}
      -DHARNESS=$<TARGET_FILE:${name}>
      -DSCRATCH=${PROJECT_BINARY_DIR}/fuzz/scratch/${name}
      -DARTIFACTS=${PROJECT_BINARY_DIR}/fuzz/artifacts/${name}
      -DCORPUS=${corpus}
      -DSECONDS=${WD_FUZZ_SECONDS}
      "-DEXTRA=${F_ARGS}"
      -P ${PROJECT_SOURCE_DIR}/cmake/RunFuzz.cmake)
  math(EXPR ctest_timeout "${WD_FUZZ_SECONDS} + 270")
  set_tests_properties(fuzz_${name} PROPERTIES LABELS fuzz TIMEOUT ${ctest_timeout})
endfunction()

# wd_fuzz_seeds(<name> SOURCES ... [LIBS ...])
#
# A program that writes hand-made seed inputs into the committed corpus
# folder given as its argument (fuzz/<deliverable>/corpus). Not built by
# default; `cmake --build <dir> --target fuzz_seeds` rewrites every seed.
function(wd_fuzz_seeds name)
  cmake_parse_arguments(S "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} EXCLUDE_FROM_ALL ${S_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/testkit)
  target_link_libraries(${name} PRIVATE ${S_LIBS})
  add_custom_target(${name}_write
    COMMAND ${name} ${CMAKE_CURRENT_SOURCE_DIR}/corpus
    COMMENT "Seeds of ${CMAKE_CURRENT_SOURCE_DIR}/corpus")
  if(NOT TARGET fuzz_seeds)
    add_custom_target(fuzz_seeds)
  endif()
  add_dependencies(fuzz_seeds ${name}_write)
endfunction()
