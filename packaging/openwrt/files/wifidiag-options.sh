# SPDX-License-Identifier: MIT
# UCI sections to command-line options for wifidiag's procd services.
# Sourced by the init scripts after /lib/functions.sh (config_get,
# config_get_bool, config_list_foreach) and /lib/functions/procd.sh
# (procd_append_param).
#
# Each <program>_check SECTION reads and validates a section and returns 1,
# with a message on standard error, when it cannot become a command line;
# <program>_options SECTION checks it the same way and only then appends the
# options to the open instance's command. Values become single arguments, so
# none may hold blanks or start with '-' where a value is expected: such
# text would be taken as another option.

# The wd_ variables are assigned by config_get, which shellcheck cannot see.
# shellcheck shell=dash disable=SC2154

# wd_word VALUE NAME: VALUE is one non-empty argument that is no option.
wd_word() {
	case "$1" in
	'' | -* | *[[:space:]]*)
		echo "wifidiag: $2 '$1' is not a usable value" >&2
		return 1
		;;
	esac
	return 0
}

# wd_number VALUE NAME MIN MAX
wd_number() {
	case "$1" in
	'' | *[!0-9]*)
		echo "wifidiag: $2 '$1' is not a whole number" >&2
		return 1
		;;
	esac
	if [ "${#1}" -gt 6 ] || [ "$1" -lt "$3" ] || [ "$1" -gt "$4" ]; then
		echo "wifidiag: $2 $1 is outside $3 to $4" >&2
		return 1
	fi
	return 0
}

# --- rfwatchd: one instance per section of type rfwatchd -------------------

# config_list_foreach need not pass on a callback's failure: a refused
# name is remembered in wd_primary_bad instead.
wd_primaries=""
wd_primary_bad=0
wd_add_primary() {
	case "$1" in
	*,*)
		echo "wifidiag: primary '$1' holds a comma" >&2
		wd_primary_bad=1
		return 1
		;;
	esac
	wd_word "$1" primary || wd_primary_bad=1
	wd_primaries="${wd_primaries:+$wd_primaries,}$1"
}

rfwatchd_check() {
	local section="$1"
	config_get wd_monitor "$section" monitor
	config_get wd_bins "$section" bins
	config_get wd_background "$section" background
	wd_word "$wd_monitor" monitor || return 1
	if [ -n "$wd_bins" ]; then
		wd_number "$wd_bins" bins 0 512 || return 1
		# rfwatchd's own rule: 0 (the driver's choice) or a multiple of 8
		# up to 512. A value it refuses would only make procd respawn it.
		if [ "$wd_bins" -ne 0 ] && [ $((wd_bins % 8)) -ne 0 ]; then
			echo "wifidiag: bins $wd_bins is not 0 or a multiple of 8 up to 512" >&2
			return 1
		fi
	fi
	case "$wd_background" in
	'' | all) ;;
	*-*)
		wd_number "${wd_background%%-*}" "background start" 1 99999 || return 1
		wd_number "${wd_background#*-}" "background end" 1 99999 || return 1
		;;
	*)
		echo "wifidiag: background '$wd_background' is neither all nor START-END (MHz)" >&2
		return 1
		;;
	esac
	wd_primaries=""
	wd_primary_bad=0
	config_list_foreach "$section" primary wd_add_primary
	[ "$wd_primary_bad" = 0 ]
}

# The socket path of a monitor interface; the companions' sections default
# to it.
rfwatchd_socket() {
	echo "/var/run/rfwatchd/$1.sock"
}

rfwatchd_options() {
	rfwatchd_check "$1" || return 1
	procd_append_param command -m "$wd_monitor" -s "$(rfwatchd_socket "$wd_monitor")"
	[ -z "$wd_primaries" ] || procd_append_param command -i "$wd_primaries"
	[ -z "$wd_bins" ] || procd_append_param command -b "$wd_bins"
	[ -z "$wd_background" ] || procd_append_param command -S "$wd_background"
	return 0
}

# --- rfwatch-web: the section "main" ---------------------------------------

rfwatch_web_check() {
	local section="$1"
	config_get wd_socket "$section" socket
	config_get wd_mqtt "$section" mqtt
	config_get wd_prefix "$section" prefix
	config_get wd_password_file "$section" password_file
	config_get wd_cafile "$section" cafile
	config_get wd_listen "$section" listen 127.0.0.1:8080
	config_get wd_token_file "$section" token_file /etc/wifidiag/rfwatch-web/token
	config_get_bool wd_read_only "$section" read_only 0
	if [ -n "$wd_socket" ] && [ -n "$wd_mqtt" ]; then
		echo "wifidiag: rfwatch-web takes a socket or an mqtt broker, not both" >&2
		return 1
	fi
	if [ -z "$wd_mqtt" ] && { [ -n "$wd_prefix" ] || [ -n "$wd_password_file" ] || [ -n "$wd_cafile" ]; }; then
		echo "wifidiag: prefix, password_file and cafile go with mqtt" >&2
		return 1
	fi
	local name
	for name in socket mqtt prefix password_file cafile; do
		eval "[ -z \"\$wd_$name\" ] || wd_word \"\$wd_$name\" $name" || return 1
	done
	# The token is always required: the page is reachable beyond loopback
	# as soon as listen says so.
	wd_word "$wd_listen" listen && wd_word "$wd_token_file" token_file || return 1
	wd_allow_hosts=""
	wd_allow_host_bad=0
	config_list_foreach "$section" allow_host wd_add_allow_host
	[ "$wd_allow_host_bad" = 0 ]
}

# The names the page is browsed by (the Host header it must accept beyond
# the listen address and localhost), e.g. the access point's DNS name.
wd_add_allow_host() {
	wd_word "$1" allow_host || wd_allow_host_bad=1
	wd_allow_hosts="$wd_allow_hosts $1"
}

rfwatch_web_options() {
	rfwatch_web_check "$1" || return 1
	if [ -n "$wd_mqtt" ]; then
		procd_append_param command --mqtt "$wd_mqtt"
		[ -z "$wd_prefix" ] || procd_append_param command --prefix "$wd_prefix"
		[ -z "$wd_password_file" ] || procd_append_param command --password-file "$wd_password_file"
		[ -z "$wd_cafile" ] || procd_append_param command --cafile "$wd_cafile"
	elif [ -n "$wd_socket" ]; then
		procd_append_param command -s "$wd_socket"
	fi
	procd_append_param command -l "$wd_listen" --token-file "$wd_token_file"
	local host
	for host in $wd_allow_hosts; do
		procd_append_param command --allow-host "$host"
	done
	[ "$wd_read_only" != 1 ] || procd_append_param command --read-only
	return 0
}

# --- rfwatch-mqtt: one instance per section of type publisher --------------

rfwatch_mqtt_check() {
	local section="$1" name
	config_get wd_monitor "$section" monitor
	config_get wd_broker "$section" broker
	config_get wd_qos "$section" qos
	config_get wd_period_ms "$section" period_ms
	config_get_bool wd_commands "$section" commands 0
	for name in node prefix format password_file cafile cert key; do
		config_get "wd_$name" "$section" "$name"
	done
	wd_word "$wd_monitor" monitor || return 1
	wd_word "$wd_broker" broker || return 1
	case "$wd_format" in
	'' | json | compact) ;;
	*)
		echo "wifidiag: format '$wd_format' is neither json nor compact" >&2
		return 1
		;;
	esac
	[ -z "$wd_qos" ] || wd_number "$wd_qos" qos 0 1 || return 1
	[ -z "$wd_period_ms" ] || wd_number "$wd_period_ms" period_ms 1 60000 || return 1
	if { [ -n "$wd_cert" ] && [ -z "$wd_key" ]; } || { [ -z "$wd_cert" ] && [ -n "$wd_key" ]; }; then
		echo "wifidiag: cert and key go together" >&2
		return 1
	fi
	for name in node prefix password_file cafile cert key; do
		eval "[ -z \"\$wd_$name\" ] || wd_word \"\$wd_$name\" $name" || return 1
	done
	return 0
}

rfwatch_mqtt_options() {
	rfwatch_mqtt_check "$1" || return 1
	procd_append_param command -s "$(rfwatchd_socket "$wd_monitor")" --radio "$wd_monitor" \
		-b "$wd_broker"
	local name
	for name in node prefix format qos period_ms password_file cafile cert key; do
		eval "[ -z \"\$wd_$name\" ] || procd_append_param command --$(echo "$name" | tr _ -) \"\$wd_$name\""
	done
	[ "$wd_commands" != 1 ] || procd_append_param command --commands
	return 0
}
