#!/bin/bash
# SPDX-License-Identifier: MIT
# `cmake --install` of the library into a fresh prefix gives the header, the
# library under its SONAME and airtally.pc, and a plain C11 program builds
# from them through pkg-config alone.
# usage: install_test.sh BUILD_DIR CONSUMER_C CC READELF PKG_CONFIG [CFLAG...]
# (the CFLAGs are the build's own sanitizer flags, which its library needs)
set -euo pipefail
build=$1 consumer=$2 cc=$3 readelf=$4 pkg_config=$5
shift 5

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix

# The run-time component alone is what libairtally0 ships: the library
# under its SONAME and nothing to build with.
cmake --install "$build" --prefix "$prefix" --component airtally ||
  fail "cmake --install of the airtally component"
runtime=$(cd "$prefix" && find . ! -type d -printf '%f\n' | sed 's/\.so\.0\.[0-9]*\.[0-9]*$/.so.0.X.Y/' | sort | tr '\n' ' ')
[ "$runtime" = "libairtally.so.0 libairtally.so.0.X.Y " ] ||
  fail "the airtally component holds '$runtime', not the library alone"
cmake --install "$build" --prefix "$prefix" --component airtally_dev ||
  fail "cmake --install of the airtally_dev component"
echo "installed:"
(cd "$prefix" && find . ! -type d | sort | sed 's/^/  /')

pc=$(find "$prefix" -path '*/pkgconfig/airtally.pc')
[ -n "$pc" ] || fail "no pkgconfig/airtally.pc under the prefix"
export PKG_CONFIG_LIBDIR=${pc%/airtally.pc} PKG_CONFIG_PATH=
libdir=$("$pkg_config" --variable=libdir airtally) || fail "pkg-config cannot read airtally.pc"
includedir=$("$pkg_config" --variable=includedir airtally)
# The .pc file is read through the prefix's real path, whatever the
# symlinks in $TMPDIR.
real_prefix=$(realpath "$prefix")
for d in "$libdir" "$includedir"; do
  case $(realpath -m "$d") in
  "$real_prefix"/*) ;;
  *) fail "airtally.pc points outside the prefix: $d" ;;
  esac
done

[ -f "$includedir/airtally.h" ] || fail "no airtally.h in $includedir"
[ -e "$libdir/libairtally.so.0" ] || fail "no libairtally.so.0 in $libdir"
[ -e "$libdir/libairtally.so" ] || fail "no libairtally.so (the link-time name) in $libdir"
soname=$("$readelf" -d "$libdir/libairtally.so.0" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = libairtally.so.0 ] || fail "SONAME is '$soname', not libairtally.so.0"

# shellcheck disable=SC2046 # pkg-config's output is a list of words
"$cc" -std=c11 -Wall -Wextra -Wpedantic -Werror "$@" -o "$tmp/consumer" "$consumer" \
  $("$pkg_config" --cflags --libs airtally) || fail "a C11 program does not build against the prefix"
needed=$("$readelf" -d "$tmp/consumer" | sed -n 's/.*(NEEDED).*\[\(libairtally[^]]*\)\]/\1/p')
[ "$needed" = libairtally.so.0 ] || fail "the program needs '$needed', not libairtally.so.0"

# It runs against the installed copy; radiostats_init may refuse (status 3)
# where the kernel has no nl80211.
status=0
LD_LIBRARY_PATH=$libdir "$tmp/consumer" || status=$?
case $status in
0) echo "the program read the lists" ;;
3) echo "the program loaded the library; radiostats_init refused here (no nl80211)" ;;
*) fail "the program ended with status $status" ;;
esac
echo "PASS"
