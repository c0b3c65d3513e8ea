#!/bin/sh
# SPDX-License-Identifier: MIT
# Run by ash on OpenWrt and dash here; the opt_ variables are read through eval.
# shellcheck shell=dash disable=SC2034
# The UCI-to-options translation of the OpenWrt init scripts, against
# stand-ins for the UCI and procd helpers: a section's options are the
# variables opt_<section>_<option> (a list: one item per line), and every
# argument appended to the command is recorded on a line of its own.
# Usage: openwrt_options_test.sh OPTIONS_FILE
set -u
OPTIONS_FILE="$1"

config_get() {
	eval "$1=\${opt_$2_$3-\${4-}}"
}

config_get_bool() {
	local value
	config_get value "$2" "$3" "${4-}"
	case "$value" in
	1 | yes | on | true | enabled) eval "$1=1" ;;
	*) eval "$1=0" ;;
	esac
}

# Like the real helper may, it ignores what the callback returns.
config_list_foreach() {
	local items item
	eval "items=\${opt_$1_$2-}"
	[ -n "$items" ] || return 0
	while IFS= read -r item; do
		"$3" "$item"
	done <<LIST
$items
LIST
	return 0
}

ARGS=""
procd_append_param() {
	[ "$1" = command ] || return 0
	shift
	local a
	for a in "$@"; do
		ARGS="$ARGS$a
"
	done
}

# shellcheck source=../../packaging/openwrt/files/wifidiag-options.sh
. "$OPTIONS_FILE"

passed=0
failed=0
err=$(mktemp) || exit 1
trap 'rm -f "$err"' EXIT
clear_options() {
	for v in $(set | sed -n 's/^\(opt_[A-Za-z0-9_]*\)=.*/\1/p'); do
		unset "$v"
	done
	ARGS=""
}

# expect_args NAME FUNCTION SECTION ARG... : the function succeeds with
# exactly these arguments.
expect_args() {
	local name="$1" fn="$2" section="$3" want=""
	shift 3
	for a in "$@"; do
		want="$want$a
"
	done
	ARGS=""
	if "$fn" "$section" 2>"$err" && [ "$ARGS" = "$want" ]; then
		passed=$((passed + 1))
	else
		failed=$((failed + 1))
		echo "FAIL: $name"
		printf 'want:\n%sgot:\n%s' "$want" "$ARGS"
		cat "$err"
	fi
}

# expect_refused NAME FUNCTION SECTION MESSAGE: fails, says MESSAGE, appends nothing.
expect_refused() {
	ARGS=""
	if ! "$2" "$3" 2>"$err" && [ -z "$ARGS" ] &&
		grep -q -- "$4" "$err"; then
		passed=$((passed + 1))
	else
		failed=$((failed + 1))
		echo "FAIL: $1 (appended: $ARGS)"
		cat "$err"
	fi
}

# --- rfwatchd ---------------------------------------------------------------
clear_options
opt_mon0_monitor=mon0
expect_args "rfwatchd: the monitor alone" rfwatchd_options mon0 \
	-m mon0 -s /var/run/rfwatchd/mon0.sock

opt_mon0_primary="wlan0
wlan1"
opt_mon0_bins=64
opt_mon0_background=5170-5330
expect_args "rfwatchd: every option, primaries joined" rfwatchd_options mon0 \
	-m mon0 -s /var/run/rfwatchd/mon0.sock -i wlan0,wlan1 -b 64 -S 5170-5330

opt_mon0_background=all
opt_mon0_bins=0
opt_mon0_primary=wlan0
expect_args "rfwatchd: whole band, driver's bins" rfwatchd_options mon0 \
	-m mon0 -s /var/run/rfwatchd/mon0.sock -i wlan0 -b 0 -S all
opt_mon0_bins=24
expect_args "rfwatchd: bins a multiple of 8, not a power of two" rfwatchd_options mon0 \
	-m mon0 -s /var/run/rfwatchd/mon0.sock -i wlan0 -b 24 -S all

clear_options
expect_refused "rfwatchd: no monitor" rfwatchd_options mon0 "monitor ''"
for bad in 63 12 4 1024 -4 64x; do
	clear_options
	opt_mon0_monitor=mon0
	opt_mon0_bins=$bad
	expect_refused "rfwatchd: bins $bad" rfwatchd_options mon0 "bins"
done
for bad in 5170 5170- -5330 abc-def; do
	clear_options
	opt_mon0_monitor=mon0
	opt_mon0_background=$bad
	expect_refused "rfwatchd: background $bad" rfwatchd_options mon0 "background"
done
clear_options
opt_mon0_monitor="mon0 -b"
expect_refused "rfwatchd: a blank would split the argument" rfwatchd_options mon0 "not a usable"
clear_options
opt_mon0_monitor=-h
expect_refused "rfwatchd: a value read as an option" rfwatchd_options mon0 "not a usable"
clear_options
opt_mon0_monitor=mon0
opt_mon0_primary="wlan0
wlan1,wlan2"
expect_refused "rfwatchd: a comma inside one primary" rfwatchd_options mon0 "comma"
# The refused list item must not linger into the next section.
opt_mon1_monitor=mon1
expect_args "rfwatchd: the next section starts clean" rfwatchd_options mon1 \
	-m mon1 -s /var/run/rfwatchd/mon1.sock

# --- rfwatch-web ------------------------------------------------------------
clear_options
opt_main_socket=/var/run/rfwatchd/mon0.sock
expect_args "rfwatch-web: defaults, token always" rfwatch_web_options main \
	-s /var/run/rfwatchd/mon0.sock -l 127.0.0.1:8080 --token-file /etc/wifidiag/rfwatch-web/token

opt_main_listen=0.0.0.0:8080
opt_main_read_only=1
opt_main_token_file=/etc/wifidiag/web.token
opt_main_allow_host="ap.lan
ap.example.org"
expect_args "rfwatch-web: listen, read-only, names" rfwatch_web_options main \
	-s /var/run/rfwatchd/mon0.sock -l 0.0.0.0:8080 --token-file /etc/wifidiag/web.token \
	--allow-host ap.lan --allow-host ap.example.org --read-only
opt_main_allow_host="-x"
expect_refused "rfwatch-web: a name that is an option" rfwatch_web_options main "allow_host"

clear_options
opt_main_mqtt=mqtts://viewer@broker.example
opt_main_prefix=fleet
opt_main_password_file=/etc/wifidiag/pw
opt_main_cafile=/etc/ca.crt
expect_args "rfwatch-web: the fleet page" rfwatch_web_options main \
	--mqtt mqtts://viewer@broker.example --prefix fleet --password-file /etc/wifidiag/pw \
	--cafile /etc/ca.crt -l 127.0.0.1:8080 --token-file /etc/wifidiag/rfwatch-web/token

opt_main_socket=/var/run/rfwatchd/mon0.sock
expect_refused "rfwatch-web: socket and mqtt" rfwatch_web_options main "not both"
clear_options
opt_main_prefix=fleet
expect_refused "rfwatch-web: mqtt options without mqtt" rfwatch_web_options main "go with mqtt"
clear_options
opt_main_token_file=""
expect_refused "rfwatch-web: an empty token file" rfwatch_web_options main "token_file"

# --- rfwatch-mqtt -----------------------------------------------------------
clear_options
opt_mon0_monitor=mon0
opt_mon0_broker=mqtt://ap@broker.example
expect_args "rfwatch-mqtt: broker alone" rfwatch_mqtt_options mon0 \
	-s /var/run/rfwatchd/mon0.sock --radio mon0 -b mqtt://ap@broker.example

opt_mon0_node=ap1
opt_mon0_prefix=wifidiag/site
opt_mon0_format=compact
opt_mon0_qos=1
opt_mon0_period_ms=100
opt_mon0_password_file=/etc/wifidiag/pw
opt_mon0_cafile=/etc/ca.crt
opt_mon0_cert=/etc/wifidiag/ap.crt
opt_mon0_key=/etc/wifidiag/ap.key
opt_mon0_commands=1
expect_args "rfwatch-mqtt: every option" rfwatch_mqtt_options mon0 \
	-s /var/run/rfwatchd/mon0.sock --radio mon0 -b mqtt://ap@broker.example \
	--node ap1 --prefix wifidiag/site --format compact --qos 1 --period-ms 100 \
	--password-file /etc/wifidiag/pw --cafile /etc/ca.crt --cert /etc/wifidiag/ap.crt \
	--key /etc/wifidiag/ap.key --commands

unset opt_mon0_key
expect_refused "rfwatch-mqtt: cert without key" rfwatch_mqtt_options mon0 "go together"
clear_options
opt_mon0_monitor=mon0
expect_refused "rfwatch-mqtt: no broker" rfwatch_mqtt_options mon0 "broker ''"
opt_mon0_broker=mqtt://b
for setting in qos=2 period_ms=0 period_ms=60001 format=xml; do
	eval "opt_mon0_${setting%%=*}=${setting#*=}"
	expect_refused "rfwatch-mqtt: $setting" rfwatch_mqtt_options mon0 "${setting%%=*}"
	unset "opt_mon0_${setting%%=*}"
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
