# SPDX-License-Identifier: MIT
# Runs one libFuzzer harness for CTest (see wd_fuzz in Fuzzing.cmake):
#   cmake -DHARNESS=... -DSCRATCH=... -DARTIFACTS=... -DCORPUS=... -DSECONDS=...
#         [-DEXTRA=<options>] -P RunFuzz.cmake
# The scratch corpus comes first because libFuzzer writes new inputs into the
# first directory only; the committed corpus is read, never written.
foreach(var HARNESS SCRATCH ARTIFACTS CORPUS SECONDS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "RunFuzz.cmake: ${var} is not set")
  endif()
endforeach()
file(MAKE_DIRECTORY ${SCRATCH} ${ARTIFACTS})
execute_process(
  COMMAND ${HARNESS} -max_total_time=${SECONDS} -timeout=10 -rss_limit_mb=2048
          -print_final_stats=1 -artifact_prefix=${ARTIFACTS}/ ${EXTRA} ${SCRATCH} ${CORPUS}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(GLOB found ${ARTIFACTS}/*)
  message(FATAL_ERROR "${HARNESS} failed (${rc}); reproducers: ${found}")
endif()
