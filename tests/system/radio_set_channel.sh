#!/bin/bash
# SPDX-License-Identifier: MIT
# Radio control: set_channel retunes a real hwsim monitor over nl80211, and
# iw sees the channel that was asked: HT20, HT40+ (secondary above), and
# 80 MHz given by its centre with the lowest 20 MHz channel as control.
set -u
. "$WD_GUEST_LIB"
probe=${1:-$WD_BUILD/testbed/radio-probe/radio_probe}
out=$WD_STATE/probe.out
err=$WD_STATE/probe.log

set_and_see() { # FREQ WIDTH PATTERN-IN-IW-INFO
  "$probe" set mon0 "$1" "$2" >"$out" 2>"$err"
  wd_check "set_channel $1 MHz / $2 MHz succeeds" grep -qx 'set=0 (Success)' "$out"
  wd_check "iw dev mon0 info shows '$3'" sh -c "iw dev mon0 info | grep -q '$3'"
}

wd_add_monitor phy0 mon0
set_and_see 2412 20 '(2412 MHz), width: 20 MHz, center1: 2412 MHz'
wd_check "the HT20 line" grep -qx 'Debug: Setting channel: freq=2412 MHz, type=HT20' "$err"
set_and_see 5180 40 '(5180 MHz), width: 40 MHz, center1: 5190 MHz'
set_and_see 5210 80 '(5180 MHz), width: 80 MHz, center1: 5210 MHz'
wd_check "the 80 MHz line" grep -qx 'Debug: Setting 80MHz channel: primary=5180 MHz, center=5210 MHz' "$err"
set_and_see 5530 80 '(5500 MHz), width: 80 MHz, center1: 5530 MHz'
set_and_see 2462 10 '(2462 MHz), width: 20 MHz, center1: 2462 MHz'
wd_check "an unlisted width is tuned as HT20 (default)" \
  grep -qx 'Debug: Setting channel: freq=2462 MHz, type=HT20 (default)' "$err"
"$probe" set mon0 3000 20 >"$out" 2>"$err"
wd_check "3000 MHz is refused" grep -qx 'set=1 (Invalid parameters)' "$out"
wd_check "and the radio stays on 2462 MHz" sh -c "iw dev mon0 info | grep -q '(2462 MHz)'"
wd_log "radio_set_channel: all checks passed"
