#!/bin/bash
# SPDX-License-Identifier: MIT
# Radio control: discovery of real hwsim interfaces. A monitor interface
# maps to its phy with the monitor-type line; a managed interface is still
# discovered, with the warning; a 15-character monitor name is accepted.
set -u
. "$WD_GUEST_LIB"
probe=${1:-$WD_BUILD/testbed/radio-probe/radio_probe}
out=$WD_STATE/probe.out
err=$WD_STATE/probe.log

wd_add_monitor phy1 mon1
"$probe" discover mon1 >"$out" 2>"$err"
wd_check "mon1 is discovered" grep -qx 'discover=0 (Success)' "$out"
wd_check "mon1 belongs to phy1" grep -qx 'phy=1' "$out"
wd_check "mon1 has its kernel ifindex" grep -qx "ifindex=$(cat /sys/class/net/mon1/ifindex)" "$out"
wd_check "the monitor-type line is written" grep -qx 'nl80211: Interface mon1 confirmed as monitor mode' "$err"
wd_check "the mapping line is written" \
  grep -qx "Interface 'mon1' (ifindex $(cat /sys/class/net/mon1/ifindex)) successfully mapped to phy1 via nl80211" "$err"

managed=$(wd_phy_iface phy0)
"$probe" discover "$managed" >"$out" 2>"$err"
wd_check "managed $managed is still discovered" grep -qx 'discover=0 (Success)' "$out"
wd_check "$managed belongs to phy0" grep -qx 'phy=0' "$out"
wd_check "$managed gets the warning line (type 2, station)" \
  grep -qx "nl80211: Warning - Interface $managed is not in monitor mode (type: 2)" "$err"

long=monabcdefghijkl # 15 characters, the kernel's longest
iw phy phy0 interface add "$long" type monitor || wd_fail "cannot add monitor $long"
"$probe" discover "$long" >"$out" 2>"$err"
wd_check "a 15-character monitor name is discovered" grep -qx 'discover=0 (Success)' "$out"
wd_check "and maps to phy0" grep -qx 'phy=0' "$out"
"$probe" discover "${long}x" >"$out" 2>"$err"
wd_check "16 characters are refused as invalid" grep -qx 'discover=1 (Invalid parameters)' "$out"
wd_check "with the truncation message" grep -qx "Interface name would truncate: ${long}x" "$err"
"$probe" discover nosuch0 >"$out" 2>"$err"
wd_check "an unknown name is not found" grep -qx 'discover=4 (Monitor interface not found)' "$out"
wd_log "radio_discovery: all checks passed"
