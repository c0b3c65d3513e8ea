# SPDX-License-Identifier: MIT
# Every link also writes the list of files the linker read (link.d beside the
# objects), so tools/check-deps can tell which packages a build relies on,
# the libraries that the compiler driver adds on its own included.
include(CheckLinkerFlag)
check_linker_flag(CXX "-Wl,--dependency-file=${CMAKE_BINARY_DIR}/CMakeFiles/link-depfile-probe.d"
                  WD_LINKER_DEPFILE)
if(WD_LINKER_DEPFILE)
  foreach(lang C CXX)
    foreach(rule LINK_EXECUTABLE CREATE_SHARED_LIBRARY CREATE_SHARED_MODULE)
      string(APPEND CMAKE_${lang}_${rule} " -Wl,--dependency-file=<OBJECT_DIR>/link.d")
    endforeach()
  endforeach()
endif()
