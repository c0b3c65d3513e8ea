#!/bin/bash
# SPDX-License-Identifier: MIT
# rfwatch-web on the emulated access point: rfwatchd on the simulated ath11k
# radio next to a hostapd AP, rfwatch-web serving it on the guest's eth0 with
# a token, and the host (web-through-forward) loading the page and reading
# spectrum frames through the forwarded port. The host says how it went in
# $WD_OUT/host-done.
set -u
. "$WD_GUEST_LIB"
rfwatchd=$1
web=$2
sock=$WD_STATE/rfwatchd.sock
token=$WD_OUT/web.token

wd_start_ap phy0
wd_add_monitor phy0 mon0
wd_start_fakeath phy0 ath11k --rate 100 --tone c+3:-58:2
"$rfwatchd" -m mon0 -i "$WD_AP_IFACE" -s "$sock" >"$WD_STATE/rfwatchd.out" 2>"$WD_STATE/rfwatchd.log" &
wd_wait_for 60 "rfwatchd serving" grep -q '^Server initialization successful$' "$WD_STATE/rfwatchd.log"

# The host reaches it as 127.0.0.1 on a port of its own.
"$web" -s "$sock" -l 10.0.2.15:8080 --token-file "$token" --allow-host 127.0.0.1 >"$WD_STATE/web.log" 2>&1 &
web_pid=$!
wd_wait_for 30 "rfwatch-web wrote its token" test -s "$token"
wd_check "the token file is private (mode 600)" test "$(stat -c %a "$token")" = 600
touch "$WD_OUT/web-ready"

wd_wait_for 300 "the host's checks through the forwarded port" test -s "$WD_OUT/host-done"
wd_log "host: $(cat "$WD_OUT/host-done")"
wd_check "rfwatch-web still runs" kill -0 "$web_pid"
wd_check "the host loaded the page and read the tone's frames" grep -qx ok "$WD_OUT/host-done"
wd_log "rfwatch_web: all checks passed"
