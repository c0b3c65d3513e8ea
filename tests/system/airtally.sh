#!/bin/bash
# SPDX-License-Identifier: MIT
# libairtally against the real kernel and daemons: a WPA2-PSK/CCMP hostapd
# AP on phy0 and a wpa_supplicant station on phy1 associated to it. The
# radio and VAP lists and the security fields, as printed by airtally-show,
# are checked against what iw, hostapd_cli and wpa_cli report (the control
# replies are captured raw and the expected values worked out from them).
set -u
. "$WD_GUEST_LIB"
# Arguments: airtally-show's path, then PHY=CC for each radio that must have
# a regulatory domain of its own (hwsim's regtest modes give them one).
show=${1:-$WD_BUILD/companions/airtally-show/airtally-show}
[ $# -gt 0 ] && shift
check=$(dirname "$0")/airtally_expect.py
facts=$WD_STATE/airtally
mkdir -p "$facts"

wd_start_ap phy0 airtally-ap airtally-passphrase 6
wd_start_sta phy1 airtally-ap airtally-passphrase

# What the library should see, from independent tools.
iw list >"$facts/iw-list.txt" 2>&1
iw dev >"$facts/iw-dev.txt" 2>&1
iw reg get >"$facts/iw-reg.txt" 2>&1
hostapd_cli -p /var/run/hostapd -i "$WD_AP_IFACE" raw GET_CONFIG >"$facts/get_config.txt" 2>&1
wpa_cli -p /var/run/wpa_supplicant -i "$WD_STA_IFACE" raw STATUS >"$facts/status.txt" 2>&1
wpa_cli -p /var/run/wpa_supplicant -i "$WD_STA_IFACE" raw MIB >"$facts/mib.txt" 2>&1
for f in "$facts"/*.txt; do
  echo "---- $(basename "$f") ----"
  cat -A "$f" | sed 's/^/  /' | head -n 80
done

"$show" >"$facts/table.txt" 2>"$facts/table.err" || wd_fail "airtally-show failed: $(cat "$facts/table.err")"
echo "---- airtally-show ----"
cat "$facts/table.txt"
"$show" --json >"$facts/show.json" 2>"$facts/show.err" ||
  wd_fail "airtally-show --json failed: $(cat "$facts/show.err")"
wd_check "airtally-show printed nothing on standard error" test ! -s "$facts/show.err"
[ -n "${WD_OUT:-}" ] && cp -r "$facts" "$WD_OUT/" 2>/dev/null

python3 "$check" "$facts" "$WD_AP_IFACE" "$WD_STA_IFACE" "$@" || wd_fail "airtally-show disagrees with the system"
wd_check "the library's socket file is gone after the run" \
  sh -c "! ls /tmp/airtally_ctrl_* >/dev/null 2>&1"

# A working handle's life cycle on the real kernel: a second handle of the
# process refused at bind, repeated dumps refreshing in place, the socket
# file removed at the end. The host has no nl80211, so it runs here.
init_test=$WD_BUILD/tests/libairtally/libairtally_init
if [ -x "$init_test" ]; then
  "$init_test" --gtest_filter='RadiostatsInit.WithNl80211OneHandlePerProcess' >"$facts/init_test.txt" 2>&1
  [ -n "${WD_OUT:-}" ] && cp "$facts/init_test.txt" "$WD_OUT/" 2>/dev/null
  wd_check "a working handle's life cycle (init_test.txt)" grep -q '^\[  PASSED  \] 1 test' "$facts/init_test.txt"
else
  wd_log "SKIPPED: no $init_test in this build, the handle's life cycle is not checked here"
fi
wd_log "airtally: all checks passed"
