# SPDX-License-Identifier: MIT
# wd_system_test(<name> SCRIPT <file> [RADIOS n] [TIMEOUT s] [ARGS ...] [VM_OPTIONS ...])
#
# One scenario script run inside a test-bed VM by testbed/vm/run-in-vm, as the
# CTest entry system_<name> with the label `system`. The script sees the
# build directory as $WD_BUILD and sources $WD_GUEST_LIB. When qemu cannot
# run here the runner exits 77 and the test is reported as skipped (with
# CI=true the runner fails instead). Results are kept in
# <build>/tests/system/<name>.out.
function(wd_system_test name)
  cmake_parse_arguments(S "" "SCRIPT;RADIOS;TIMEOUT" "ARGS;VM_OPTIONS" ${ARGN})
  if(WD_CROSS)
    return()
  endif()
  if(NOT S_SCRIPT)
    message(FATAL_ERROR "wd_system_test(${name}): SCRIPT is required")
  endif()
  if(NOT S_RADIOS)
    set(S_RADIOS 2)
  endif()
  if(NOT S_TIMEOUT)
    set(S_TIMEOUT 300)
  endif()
  get_filename_component(script "${S_SCRIPT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  # CTest's own limit leaves room for booting and for the console dump.
  math(EXPR ctest_timeout "${S_TIMEOUT} + 240")
  add_test(NAME system_${name}
    COMMAND ${PROJECT_SOURCE_DIR}/testbed/vm/run-in-vm
      --radios ${S_RADIOS} --timeout ${S_TIMEOUT}
      --build ${PROJECT_BINARY_DIR}
      --out ${PROJECT_BINARY_DIR}/tests/system/${name}.out
      ${S_VM_OPTIONS} -- ${script} ${S_ARGS})
  # COST: the scenarios (and the longer first) start before the short tests,
  # which then fill the gaps instead of leaving a scenario running alone.
  set_tests_properties(system_${name} PROPERTIES
    LABELS system
    TIMEOUT ${ctest_timeout}
    COST ${S_TIMEOUT}
    SKIP_RETURN_CODE 77)
endfunction()
