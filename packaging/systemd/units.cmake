# SPDX-License-Identifier: MIT
# wd_configure_units(<out_dir> <sbindir> <bindir> <sysconfdir>)
#
# Writes the service units with the given absolute program and configuration
# directories. The install rules call it with the install paths; the tests
# call it with a staging root of their own, so both check the same templates.
set(WD_UNIT_TEMPLATES
    rfwatchd@.service rfwatch-web.service rfwatch-mqtt@.service airtally-exporter.service)

function(wd_configure_units out_dir sbindir bindir sysconfdir)
  set(WD_UNIT_SBINDIR ${sbindir})
  set(WD_UNIT_BINDIR ${bindir})
  set(WD_UNIT_SYSCONFDIR ${sysconfdir})
  foreach(unit IN LISTS WD_UNIT_TEMPLATES)
    configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/${unit}.in ${out_dir}/${unit} @ONLY)
  endforeach()
endfunction()
