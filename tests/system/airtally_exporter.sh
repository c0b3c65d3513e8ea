#!/bin/bash
# SPDX-License-Identifier: MIT
# airtally-exporter on the emulated access point: a WPA2-PSK/CCMP hostapd AP
# on phy0 (its SSID with a quote, a backslash, a space and a non-ASCII
# letter) and a wpa_supplicant station on phy1. /metrics must pass promtool,
# agree with iw, hostapd_cli and wpa_cli, be scraped by a real Prometheus
# (bearer token from a file), and count a silent or missing daemon as a
# scrape error while still answering.
set -u
export PYTHONDONTWRITEBYTECODE=1 # nothing written beside the sources
. "$WD_GUEST_LIB"
exporter=$1
here=$(dirname "$0")
facts=$WD_STATE/airtally-exporter
mkdir -p "$facts"
trap '[ -n "${WD_OUT:-}" ] && cp -r "$facts" "$WD_STATE/exporter.log" "$WD_STATE/prometheus.log" "$WD_OUT/" 2>/dev/null' EXIT
ssid='air"tally\exp é'

wd_start_ap phy0 "$ssid" airtally-passphrase 6
wd_start_sta phy1 "$ssid" airtally-passphrase

# The exporter wants its token; Prometheus reads the same file.
token=$facts/token
(umask 077 && head -c 16 /dev/urandom | od -An -tx1 | tr -d ' \n' >"$token")
"$exporter" -l 127.0.0.1:0 --token-file "$token" >"$facts/exporter.out" 2>"$WD_STATE/exporter.log" &
exporter_pid=$!
wd_wait_for 60 "airtally-exporter listening" grep -q 'listening on 127.0.0.1:' "$facts/exporter.out"
port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$facts/exporter.out")
wd_log "airtally-exporter on port $port"

# What the exporter should see, from independent tools.
snapshot() {
  iw list >"$1/iw-list.txt" 2>&1
  iw dev >"$1/iw-dev.txt" 2>&1
  iw reg get >"$1/iw-reg.txt" 2>&1
  hostapd_cli -p /var/run/hostapd -i "$WD_AP_IFACE" raw GET_CONFIG >"$1/get_config.txt" 2>&1
  wpa_cli -p /var/run/wpa_supplicant -i "$WD_STA_IFACE" raw STATUS >"$1/status.txt" 2>&1
}
fetch() { python3 "$here/airtally_exporter_expect.py" fetch "$port" "$token" "$1"; }
# The comparison holds only for a scrape the system did not change under:
# a loaded emulator can make the station drop and rejoin (a handshake
# timeout), so the facts are taken before and after, and again until they
# agree.
mkdir -p "$facts/after"
for attempt in 1 2 3 4 5; do
  snapshot "$facts"
  fetch "$facts/metrics.txt" || wd_fail "fetching /metrics failed"
  snapshot "$facts/after"
  cmp -s "$facts/iw-dev.txt" "$facts/after/iw-dev.txt" &&
    cmp -s "$facts/status.txt" "$facts/after/status.txt" && break
  wd_log "the radios changed during scrape $attempt; taking it again"
  sleep 2
done
echo "---- /metrics ----"
cat "$facts/metrics.txt"
wd_check "promtool check metrics passes" sh -c "/usr/bin/promtool check metrics <'$facts/metrics.txt'"
wd_check "/metrics without the token is refused (401)" \
  python3 "$here/airtally_exporter_expect.py" refused "$port"
WD_SCRAPES=$attempt python3 "$here/airtally_exporter_expect.py" check "$facts" "$WD_AP_IFACE" "$WD_STA_IFACE" ||
  wd_fail "airtally-exporter disagrees with the system"

# Prometheus only now, so the scrapes above are the only ones counted.
prom=$facts/prometheus
mkdir -p "$prom/data"
cat >"$prom/prometheus.yml" <<CONF
global:
  scrape_interval: 5s
  scrape_timeout: 5s
scrape_configs:
  - job_name: airtally
    authorization:
      type: Bearer
      credentials_file: $token
    static_configs:
      - targets: ['127.0.0.1:$port']
CONF
/usr/bin/prometheus --config.file="$prom/prometheus.yml" --storage.tsdb.path="$prom/data" \
  --web.listen-address=127.0.0.1:9090 >"$WD_STATE/prometheus.log" 2>&1 &
prom_pid=$!

# A real Prometheus scrapes it: the target is up and a value arrives.
wd_wait_for 300 "Prometheus scraped airtally-exporter (up == 1, phy0's frequency 2437 MHz)" \
  python3 "$here/airtally_exporter_expect.py" prometheus 9090 \
  'up{job="airtally"}' 1 'airtally_radio_frequency_hertz{job="airtally",phy="0"}' 2437000000
wd_check "Prometheus scraped the AP's interface info with its security" \
  python3 "$here/airtally_exporter_expect.py" prometheus 9090 \
  "count(airtally_interface_info{interface=\"$WD_AP_IFACE\",type=\"ap\",wpa=\"RSN\",key_mgmt=\"WPA-PSK\",pairwise_cipher=\"CCMP\"})" 1
kill "$prom_pid" 2>/dev/null

# A silent hostapd costs its 2 s and an error; the answer still comes.
kill -STOP "$(cat "$WD_STATE/hostapd-$WD_AP_IFACE.pid")"
fetch "$facts/metrics-silent.txt" || wd_fail "fetching /metrics with hostapd stopped failed"
kill -CONT "$(cat "$WD_STATE/hostapd-$WD_AP_IFACE.pid")"
# Then no wpa_supplicant at all: its socket file is gone.
kill "$(cat "$WD_STATE/wpa-$WD_STA_IFACE.pid")"
wd_wait_for 30 "wpa_supplicant's control socket removed" test ! -e "/var/run/wpa_supplicant/$WD_STA_IFACE"
fetch "$facts/metrics-gone.txt" || wd_fail "fetching /metrics without wpa_supplicant failed"
for f in metrics-silent metrics-gone; do
  wd_check "promtool check metrics passes ($f)" sh -c "/usr/bin/promtool check metrics <'$facts/$f.txt'"
done
python3 "$here/airtally_exporter_expect.py" faults "$facts" "$WD_AP_IFACE" "$WD_STA_IFACE" ||
  wd_fail "silent or missing daemons were not reported as expected"

wd_check "airtally-exporter still runs" kill -0 "$exporter_pid"
kill "$exporter_pid"
wait "$exporter_pid"
wd_check "airtally-exporter exits 0 on SIGTERM" test $? -eq 0
wd_check "the library's socket file is gone after the exporter" \
  sh -c "! ls /tmp/airtally_ctrl_* >/dev/null 2>&1"
wd_log "airtally_exporter: all checks passed"
