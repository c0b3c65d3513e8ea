#!/bin/bash
# SPDX-License-Identifier: MIT
# Smoke test of the test bed: radios over nl80211, a WPA2 AP and a station,
# a retuned monitor interface, and the simulated spectral driver following
# the phy's real channel.
set -u
. "$WD_GUEST_LIB"
here=$(dirname "$0")
reports="$here/read-reports"

wd_log "smoke: $WD_RADIOS radios"
n=$(iw list | grep -c '^Wiphy ')
wd_check "nl80211 lists $WD_RADIOS phys (found $n)" test "$n" -eq "$WD_RADIOS"

# A monitor on phy0, retuned to an 80 MHz channel at 5 GHz.
wd_add_monitor phy0 mon0
wd_set_freq mon0 5180 80 5210
wd_check "nl80211 reports center1 5210 MHz, 80 MHz wide on mon0" \
  sh -c "iw dev mon0 info | grep -q 'width: 80 MHz, center1: 5210 MHz'"

# The simulated driver serves reports for that channel.
wd_start_fakeath phy0 ath11k --rate 200
D=$WD_FAKEATH_DIR
wd_check "the driver directory holds the five files" \
  sh -c "cd $D && ls spectral_scan_ctl spectral_bins spectral_scan0 chan_bw freq_shift >/dev/null"
wd_check "spectral_bins takes 128" sh -c "printf 128 >$D/spectral_bins"
wd_check "spectral_bins reads back 128" sh -c "test \"\$(cat $D/spectral_bins)\" = 128"
wd_check "chan_bw takes a number and reads it back" \
  sh -c "printf 2 >$D/chan_bw && test \"\$(cat $D/chan_bw)\" = 2"
wd_check "background is accepted" wd_ctl phy0 background
wd_check "trigger is accepted" wd_ctl phy0 trigger
wd_check "an unknown word is refused" sh -c "! printf bogus | dd of=$D/spectral_scan_ctl status=none 2>/dev/null"
sleep_until_reports() {
  wd_wait_for 20 "$1" sh -c "test -s $WD_STATE/probe || { dd if=$D/spectral_scan0 bs=2M count=1 of=$WD_STATE/probe 2>/dev/null; test -s $WD_STATE/probe; }"
}
rm -f "$WD_STATE/probe"
sleep_until_reports "reports queued in spectral_scan0"
wd_check "reports carry 64 bins (half of 128), types 4 and 100, centre 5210 MHz, 80 MHz" \
  "$reports" --min 2 --expect-bins 64 --expect-types 4,100 --expect-freq 5210 --expect-width 80 "$D/spectral_scan0"
wd_check "agile 5500 retunes the reports" wd_ctl phy0 "agile 5500"
wd_ctl phy0 trigger
"$reports" --min 0 "$D/spectral_scan0" >/dev/null # drop what was queued before
rm -f "$WD_STATE/probe"
sleep_until_reports "reports after the agile word"
wd_check "agile reports are centred on 5500 MHz" "$reports" --min 1 --expect-freq 5500 "$D/spectral_scan0"
wd_check "disable is accepted" wd_ctl phy0 disable
"$reports" --min 0 "$D/spectral_scan0" >/dev/null
wd_check "a read after disable and a drain is empty (0 bytes)" \
  sh -c "test \"\$(dd if=$D/spectral_scan0 bs=2M count=1 2>/dev/null | wc -c)\" = 0"
iw dev mon0 del

# An AP on phy0, 2.4 GHz channel 6, WPA2-PSK.
wd_start_ap phy0
cfg=$(hostapd_cli -p /var/run/hostapd -i "$WD_AP_IFACE" get_config)
for kv in wpa=2 key_mgmt=WPA-PSK group_cipher=CCMP rsn_pairwise_cipher=CCMP; do
  wd_check "hostapd GET_CONFIG answers $kv" sh -c "echo '$cfg' | grep -qx '$kv'"
done
wd_ctl phy0 background
wd_ctl phy0 trigger
wd_wait_for 10 "fakeath follows the AP to 2437 MHz" \
  "$reports" --min 1 --expect-freq 2437 --expect-width 20 "$D/spectral_scan0"

# A station on phy1 associates.
wd_start_sta phy1
wd_check "the AP lists the station" \
  sh -c "hostapd_cli -p /var/run/hostapd -i $WD_AP_IFACE all_sta | grep -q '^02:00:00:00:01:00'"

# An ath10k radio on phy1, following the station's channel.
wd_start_fakeath phy1 ath10k --rate 100
wd_check "ath10k: spectral_bins takes 256" sh -c "printf 256 >$WD_FAKEATH_DIR/spectral_bins"
wd_ctl phy1 background
wd_ctl phy1 trigger
wd_wait_for 10 "ath10k reports: type 3, 128 bins, the station's 2437 MHz" \
  "$reports" --min 1 --expect-types 3 --expect-bins 128 --expect-freq 2437 "$WD_FAKEATH_DIR/spectral_scan0"
wd_stop_fakeath phy1

wd_stop_fakeath phy0
WD_FAKEATH_LOG=$WD_STATE/fakeath-phy0.words
wd_check "the word log holds what was written, in order" \
  sh -c "head -n 6 $WD_FAKEATH_LOG | tr '\n' '|' | grep -qx 'spectral_bins 128|chan_bw 2|spectral_scan_ctl background|spectral_scan_ctl trigger|spectral_scan_ctl bogus refused|spectral_scan_ctl agile 5500|'"
wd_log "smoke: all checks passed"
