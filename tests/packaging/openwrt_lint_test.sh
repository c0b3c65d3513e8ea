#!/bin/sh
# SPDX-License-Identifier: MIT
# Every shell file of the OpenWrt recipe parses (sh -n, and busybox's ash
# when present, the shell they run under) and is clean under shellcheck.
# Usage: openwrt_lint_test.sh FILES_DIR TEST_SCRIPT
# shellcheck shell=dash
set -u
files_dir="$1"
passed=0
failed=0
out=$(mktemp) || exit 1
trap 'rm -f "$out"' EXIT
check() {
	if "$@" >"$out" 2>&1; then
		passed=$((passed + 1))
	else
		failed=$((failed + 1))
		echo "FAIL: $*"
		cat "$out"
	fi
}
if ! command -v shellcheck >/dev/null; then
	echo "SKIPPED: shellcheck is not installed (tools/setup installs it)"
	exit 77
fi
for f in "$files_dir"/*.init "$files_dir"/*.sh "$2"; do
	check sh -n "$f"
	if command -v busybox >/dev/null; then
		check busybox sh -n "$f"
	fi
	check shellcheck -x -P SCRIPTDIR "$f"
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
