#!/bin/bash
# SPDX-License-Identifier: MIT
# Radio control: an active sweep on a phy that carries a running hostapd AP
# as primary. During the sweep the AP's interface is down, the monitor up
# and hopping over the 2.4 GHz plan; after cancellation the AP's interface
# is up again and the monitor down.
set -u
. "$WD_GUEST_LIB"
probe=${1:-$WD_BUILD/testbed/radio-probe/radio_probe}
out=$WD_STATE/sweep.out
err=$WD_STATE/sweep.log


wd_start_ap phy0
ap=$WD_AP_IFACE
wd_add_monitor phy0 mon0
ip link set mon0 down
wd_check "$ap is up before the sweep" wd_is_up "$ap"

"$probe" active mon0 2400 2500 200 "$ap" >"$out" 2>"$err" &
pid=$!
wd_wait_for 30 "the active sweep started" grep -qx 'start=0 (Success)' "$out"
wd_check "the plan holds the four 2.4 GHz channels" grep -qx 'channels=4' "$out"
wd_check "$ap is down during the sweep" wd_is_down "$ap"
wd_check "mon0 is up during the sweep" wd_is_up mon0
wd_check "the primary was marked up" grep -q "Interface $ap (idx=[0-9]*) state: UP" "$err"
wd_wait_for 30 "the sweep hops on" grep -q '^hop=2452 rc=0' "$out"
wd_check "mon0 sits on a planned channel" \
  sh -c "iw dev mon0 info | grep -Eq '\((2412|2432|2452|2462) MHz\), width: 20 MHz'"
wd_check "no hop failed" sh -c "! grep -q '^hop=.* rc=[1-9]' $out"
during=$(hostapd_cli -p /var/run/hostapd -i "$ap" status 2>/dev/null | grep '^state=')

kill -TERM "$pid"
wd_wait_for 30 "the probe cancelled the sweep and exited" sh -c "! kill -0 $pid"
wd_check "cancel succeeded" grep -qx 'cancel=0 (Success)' "$out"
wd_check "$ap is up again" wd_is_up "$ap"
wd_check "mon0 is down again" wd_is_down mon0

# Whether hostapd serves again by itself once its interface is back: its
# state, and a station on phy1 associating. Observed and reported, not
# required.
start=$(date +%s)
while [ $(($(date +%s) - start)) -lt 30 ]; do
  hostapd_cli -p /var/run/hostapd -i "$ap" status 2>/dev/null | grep -qx state=ENABLED && break
  sleep 0.5
done
after=$(hostapd_cli -p /var/run/hostapd -i "$ap" status 2>/dev/null | grep '^state=')
if (wd_start_sta phy1 >/dev/null); then sta=associated; else sta="did not associate"; fi
wd_log "radio_active_sweep: hostapd during the sweep: ${during:-no answer}; after: ${after:-no answer}; a station $sta"
cp "$WD_STATE/hostapd-$ap.log" "$WD_OUT/" 2>/dev/null || true
wd_log "radio_active_sweep: all checks passed"
