#!/bin/bash
# SPDX-License-Identifier: MIT
# Radio control: an agile sweep moves only the spectral scan. The agile
# words reach the simulated driver (its word log), the phy keeps the AP's
# channel and no link changes.
set -u
. "$WD_GUEST_LIB"
probe=${1:-$WD_BUILD/testbed/radio-probe/radio_probe}
out=$WD_STATE/sweep.out
err=$WD_STATE/sweep.log


wd_start_ap phy0
ap=$WD_AP_IFACE
wd_add_monitor phy0 mon0
wd_start_fakeath phy0 ath11k
before=$(iw dev "$ap" info | grep channel)
[ -n "$before" ] || wd_fail "$ap reports no channel"

"$probe" agile mon0 2402 2482 20 50 >"$out" 2>"$err" &
pid=$!
wd_wait_for 30 "the agile sweep started" grep -qx 'start=0 (Success)' "$out"
wd_check "four slices of 20 MHz" grep -qx 'channels=4' "$out"
wd_wait_for 30 "the sweep came round to its first slice again" grep -q '^hop=2412 rc=0' "$out"
kill -TERM "$pid"
wd_wait_for 30 "the probe cancelled the sweep and exited" sh -c "! kill -0 $pid"
wd_check "cancel succeeded" grep -qx 'cancel=0 (Success)' "$out"
wd_check "no hop failed" sh -c "! grep -q '^hop=.* rc=[1-9]' $out"
wd_stop_fakeath phy0

for f in 2412 2432 2452 2472; do
  wd_check "the driver got 'agile $f' followed by a trigger" \
    sh -c "grep -A1 -x 'spectral_scan_ctl agile $f' $WD_FAKEATH_LOG | grep -qx 'spectral_scan_ctl trigger'"
done
wd_check "the slices came in order" \
  sh -c "grep -o 'agile [0-9]*' $WD_FAKEATH_LOG | head -n 5 | tr '\n' ' ' | grep -qx 'agile 2412 agile 2432 agile 2452 agile 2472 agile 2412 '"
wd_check "cancelling wrote disable last" sh -c "tail -n 1 $WD_FAKEATH_LOG | grep -qx 'spectral_scan_ctl disable'"
wd_check "no link was touched" sh -c "! grep -q '^Setting interface' $err"
wd_check "$ap is still up" wd_is_up "$ap"
wd_check "mon0 is still up" wd_is_up mon0
wd_check "the phy kept its channel" test "$(iw dev "$ap" info | grep channel)" = "$before"
wd_log "radio_agile_sweep: all checks passed"
