#!/bin/sh
# SPDX-License-Identifier: MIT
# What each OpenWrt init script asks procd for, against stand-ins for UCI,
# procd and the commands that change the system: the account it runs as
# (never root for the network-facing companions), its group and a
# descriptor limit; and that the package makes those accounts.
# Usage: openwrt_init_test.sh FILES_DIR MAKEFILE
# shellcheck shell=dash disable=SC2034,SC1090,SC2317
set -u
files_dir="$1"
passed=0
failed=0
script_copy=$(mktemp)
trap 'rm -f "$script_copy"' EXIT

# check WHAT NEEDLE HAYSTACK
check() {
	if printf '%s\n' "$3" | grep -qxF -- "$2"; then
		passed=$((passed + 1))
	else
		failed=$((failed + 1))
		printf 'FAIL: %s lacks: %s\nit has:\n%s\n' "$1" "$2" "$3"
	fi
}

# The procd parameters a script's start_service sets, one "name value" a
# line, for one enabled section with a monitor and defaults otherwise.
params() (
	config_load() { :; }
	config_get() { eval "$1=\${4-}"; [ "$3" != monitor ] || eval "$1=mon0"; }
	config_get_bool() { eval "$1=1"; }
	config_list_foreach() { :; }
	config_foreach() { "$1" mon0; }
	procd_set_param() { echo "$*"; }
	for stub in procd_open_instance procd_close_instance procd_append_param \
		procd_add_reload_trigger logger mkdir chown chgrp chmod; do
		eval "$stub() { :; }"
	done
	sed "s#/lib/functions/wifidiag.sh#$files_dir/wifidiag-options.sh#" "$files_dir/$1.init" >"$script_copy"
	. "$script_copy"
	rfwatch_mqtt_check() { :; } # the broker is required
	start_service
)

for row in "rfwatchd||1024" "rfwatch-web|rfwatch-web|1024" "rfwatch-mqtt|rfwatch-mqtt|64"; do
	IFS='|' read -r script user nofile <<ROW
$row
ROW
	got=$(params "$script" 2>&1)
	[ -z "$user" ] || check "$script" "user $user" "$got"
	check "$script" "group wifidiag" "$got"
	check "$script" "limits nofile=$nofile $nofile" "$got"
	check "the recipe" "  USERID:=$user:wifidiag" "$(cat "$2")"
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
