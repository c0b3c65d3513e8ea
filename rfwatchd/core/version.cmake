# SPDX-License-Identifier: MIT
# Run at build time (cmake -P) so the commit and date describe this build,
# not the last configure. Writes OUT only when its text changes, apart from
# the date, so an unchanged tree does not relink on every build.
execute_process(COMMAND git -C "${SRC}" rev-parse --short HEAD
                OUTPUT_VARIABLE commit RESULT_VARIABLE rc ERROR_QUIET
                OUTPUT_STRIP_TRAILING_WHITESPACE)
set(suffix "")
if(NOT rc EQUAL 0 OR commit STREQUAL "")
  set(commit "unknown (not built from a git checkout)")
else()
  execute_process(COMMAND git -C "${SRC}" status --porcelain --untracked-files=no -- rfwatchd
                  OUTPUT_VARIABLE changes ERROR_QUIET)
  if(NOT changes STREQUAL "")
    set(suffix "-dirty")
  endif()
endif()
set(key "${VERSION}|${commit}|${suffix}")
set(old_key "")
if(EXISTS "${OUT}")
  file(STRINGS "${OUT}" old_key LIMIT_COUNT 1 REGEX "^// key: ")
  string(REPLACE "// key: " "" old_key "${old_key}")
endif()
if(NOT old_key STREQUAL key)
  string(TIMESTAMP date "%Y-%m-%d %H:%M:%S UTC" UTC)
  file(WRITE "${OUT}" "// key: ${key}\n"
       "#include \"core/version_info.h\"\n"
       "const char *const rfwatchd_version = \"${VERSION}\";\n"
       "const char *const rfwatchd_commit = \"${commit}\";\n"
       "const char *const rfwatchd_commit_suffix = \"${suffix}\";\n"
       "const char *const rfwatchd_build_date = \"${date}\";\n")
endif()
