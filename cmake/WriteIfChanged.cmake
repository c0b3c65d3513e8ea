# SPDX-License-Identifier: MIT
# For scripts run at build time (cmake -P) that generate a source: writes
# TEXT to FILE only when it differs, so an unchanged output does not make
# everything that depends on it rebuild or relink.
function(wd_write_if_changed file text)
  set(old "")
  if(EXISTS "${file}")
    file(READ "${file}" old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE "${file}" "${text}")
  endif()
endfunction()
