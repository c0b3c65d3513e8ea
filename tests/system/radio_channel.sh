#!/bin/bash
# SPDX-License-Identifier: MIT
# Radio control: the current-channel query against a real hwsim monitor
# tuned with iw to 20, 40 and 80 MHz channels; wide channels report their
# centre, narrow ones the control frequency.
set -u
. "$WD_GUEST_LIB"
probe=${1:-$WD_BUILD/testbed/radio-probe/radio_probe}
out=$WD_STATE/probe.out
err=$WD_STATE/probe.log

query() { # WIDTH FREQUENCY
  "$probe" channel mon0 >"$out" 2>"$err" || wd_fail "query failed: $(cat "$out" "$err")"
  wd_check "reported width $1 MHz" grep -qx "width=$1" "$out"
  wd_check "reported frequency $2 MHz" grep -qx "frequency=$2" "$out"
  wd_check "a frequency attribute was found" grep -qx 'found=1' "$out"
}

wd_add_monitor phy0 mon0
wd_set_freq mon0 2437
query 20 2437
wd_set_freq mon0 5180 HT40+
query 40 5180
wd_check "40 MHz gives the control (primary) frequency line" \
  grep -qx 'nl80211: Interface mon0 primary frequency: 5180 MHz (40 MHz width)' "$err"
wd_set_freq mon0 5180 80 5210
query 80 5210
wd_check "80 MHz gives the centre frequency line" \
  grep -qx 'nl80211: Interface mon0 center frequency: 5210 MHz (80 MHz width)' "$err"
wd_log "radio_channel: all checks passed"
