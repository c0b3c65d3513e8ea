# SPDX-License-Identifier: MIT
# Manual pages: scdoc sources in doc/man/, built to roff by default and
# installed under CMAKE_INSTALL_MANDIR. tools/setup installs scdoc, so a
# missing one is a broken machine, not an option: stop here rather than
# install a tree without pages.
find_program(WD_SCDOC scdoc)
if(NOT WD_SCDOC)
  message(FATAL_ERROR "scdoc not found: the manual pages are built with it "
                      "(Debian package scdoc; tools/setup installs it)")
endif()

add_custom_target(man_pages ALL)

# wd_man_page(<name> <section> [COMPONENT <c>]): doc/man/<name>.<section>.scd
# becomes <build>/doc/man/<name>.<section>, installed in man<section>.
function(wd_man_page name section)
  cmake_parse_arguments(M "" "COMPONENT" "" ${ARGN})
  if(NOT M_COMPONENT)
    set(M_COMPONENT wifidiag)
  endif()
  set(src ${PROJECT_SOURCE_DIR}/doc/man/${name}.${section}.scd)
  set(out ${PROJECT_BINARY_DIR}/doc/man/${name}.${section})
  # scdoc reads standard input only; the shell is there for the redirections.
  add_custom_command(
    OUTPUT ${out}
    COMMAND sh -c "\"$1\" < \"$2\" > \"$3\" || { rm -f \"$3\"; exit 1; }" sh ${WD_SCDOC} ${src} ${out}
    DEPENDS ${src}
    COMMENT "Manual page ${name}(${section})"
    VERBATIM)
  set(installed ${out})
  if(WD_DEB)
    # Debian ships pages compressed, and reproducibly: -n keeps the name and
    # time out of the header.
    add_custom_command(
      OUTPUT ${out}.gz
      COMMAND gzip -9nkf ${out}
      DEPENDS ${out}
      VERBATIM)
    set(installed ${out}.gz)
  endif()
  add_custom_target(man_${name}_${section} DEPENDS ${installed})
  add_dependencies(man_pages man_${name}_${section})
  install(FILES ${installed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${M_COMPONENT})
endfunction()
