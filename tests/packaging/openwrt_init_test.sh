#!/bin/sh
# What each OpenWrt init script asks procd for, against stand-ins for UCI,
# procd and the commands that change the system: the account it runs as
# (never root for the network-facing companions), its group, and a
# descriptor limit; and that the package makes those accounts.
# Usage: openwrt_init_test.sh FILES_DIR MAKEFILE
# shellcheck shell=dash disable=SC2034,SC1090,SC2317
set -u
files_dir="$1"
makefile="$2"
passed=0
failed=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# One table row: script, the procd parameters it must set (as "name value"
# lines, in any order), one per line after the name.
expect() {
	local script="$1" want got line
	shift
	# A section enabled with what the options need; everything else default.
	got=$(
		config_load() { :; }
		config_get() { eval "$1=\${4-}"; [ "$3" != monitor ] || eval "$1=mon0"; }
		config_get_bool() { eval "$1=\${4-0}"; [ "$3" != enabled ] || eval "$1=1"; }
		config_list_foreach() { :; }
		config_foreach() { "$1" mon0; }
		procd_open_instance() { :; }
		procd_close_instance() { :; }
		procd_append_param() { :; }
		procd_set_param() { echo "$*"; }
		procd_add_reload_trigger() { :; }
		logger() { echo "logger: $*" >&2; }
		mkdir() { :; }
		chown() { :; }
		chgrp() { :; }
		chmod() { :; }
		sed "s#/lib/functions/wifidiag.sh#$files_dir/wifidiag-options.sh#" \
			"$files_dir/$script.init" >"$tmp/$script"
		. "$tmp/$script"
		if [ "$script" = rfwatch-mqtt ]; then
			rfwatch_mqtt_check() { return 0; }
			rfwatch_mqtt_options() { return 0; }
		fi
		start_service
	)
	for line in "$@"; do
		if printf '%s\n' "$got" | grep -qxF -- "$line"; then
			passed=$((passed + 1))
		else
			failed=$((failed + 1))
			echo "FAIL: $script does not set: $line"
			printf 'it set:\n%s\n' "$got"
		fi
	done
}

expect rfwatchd "group wifidiag" "limits nofile=1024 1024"
expect rfwatch-web "user rfwatch-web" "group wifidiag" "limits nofile=1024 1024"
expect rfwatch-mqtt "user rfwatch-mqtt" "group wifidiag" "limits nofile=64 64"

# The accounts named above are the package's own.
for account in "USERID:=:wifidiag" "USERID:=rfwatch-web:wifidiag" "USERID:=rfwatch-mqtt:wifidiag"; do
	if grep -qF "  $account" "$makefile"; then
		passed=$((passed + 1))
	else
		failed=$((failed + 1))
		echo "FAIL: the recipe does not make $account"
	fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
