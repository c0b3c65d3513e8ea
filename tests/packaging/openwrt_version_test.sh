#!/bin/sh
# SPDX-License-Identifier: MIT
# The OpenWrt recipe names its version by hand (its sources are fetched
# after it is read); it must be the project's, or the device's packages
# would name another release than their programs print.
# Usage: openwrt_version_test.sh MAKEFILE VERSION
set -u
found=$(sed -n 's/^PKG_VERSION:=//p' "$1")
if [ "$found" = "$2" ]; then
	echo "PKG_VERSION:=$found, as project()"
	exit 0
fi
echo "FAIL: $1 has PKG_VERSION:=$found; project() in CMakeLists.txt has $2"
exit 1
