# SPDX-License-Identifier: MIT
# Helpers for scenario scripts that run inside the test-bed VM. Source it:
#   . "$WD_GUEST_LIB"
# Every wait polls against a deadline; nothing sleeps blindly, because TCG
# timing varies with the load of the host.
# shellcheck shell=bash

# run-in-vm exports both; sourced by hand, the library finds the tree it
# belongs to (testbed/vm/ below the source root) and its default build.
WD_SOURCE=${WD_SOURCE:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
WD_BUILD=${WD_BUILD:-$WD_SOURCE/build/testbed}
WD_FAKEATH=${WD_FAKEATH:-$WD_BUILD/testbed/fakeath/fakeath}
WD_DEBUGFS=/sys/kernel/debug
WD_FW_DIAG=$WD_DEBUGFS/ath11k/pci-0000:01:00.0/fw_diag
WD_STATE=/run/wd
mkdir -p "$WD_STATE"

wd_log() { echo "[$(cut -d' ' -f1 /proc/uptime)] $*"; }

# wd_fail MESSAGE: prints the message and the state of the radios, then exits 1.
wd_fail() {
  echo "FAIL: $*"
  echo "---- iw dev ----"
  iw dev 2>&1 | sed 's/^/  /'
  local f
  for f in "$WD_STATE"/*.log; do
    [ -e "$f" ] || continue
    echo "---- $f (last 30 lines) ----"
    tail -n 30 "$f" | sed 's/^/  /'
  done
  exit 1
}

# wd_check DESCRIPTION COMMAND...: runs the command, prints "ok" or fails.
wd_check() {
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
  else
    wd_fail "$what (command: $*)"
  fi
}

# wd_wait_for SECONDS DESCRIPTION COMMAND...: polls every 0.1 s until the
# command succeeds; fails the scenario at the deadline.
wd_wait_for() {
  local limit=$1 what=$2
  shift 2
  local start now
  start=$(date +%s%N)
  while ! "$@" >/dev/null 2>&1; do
    now=$(date +%s%N)
    if [ $(((now - start) / 1000000000)) -ge "$limit" ]; then
      wd_fail "timed out after ${limit}s waiting for: $what"
    fi
    sleep 0.1
  done
  now=$(date +%s%N)
  echo "ok: $what ($(((now - start) / 1000000)) ms)"
}

# wd_is_up IFACE / wd_is_down IFACE: the interface's IFF_UP flag.
wd_is_up() { [ $(($(cat "/sys/class/net/$1/flags") & 1)) -eq 1 ]; }
wd_is_down() { ! wd_is_up "$1"; }

# wd_rss PID: the process's resident set in KiB.
wd_rss() { awk '/^Rss:/ { print $2 }' "/proc/$1/smaps_rollup"; }

# wd_phys: prints the phy names, one a line (phy0, phy1, ...).
wd_phys() { ls /sys/class/ieee80211 | sort -V; }

# wd_phy_iface PHY: prints the first station/AP netdev of a phy (hwsim
# creates wlanN on each).
wd_phy_iface() {
  local d
  for d in /sys/class/ieee80211/"$1"/device/net/*; do
    [ -e "$d" ] || continue
    case "$(basename "$d")" in wlan*) basename "$d"; return 0 ;; esac
  done
  return 1
}

# wd_start_ap PHY [SSID] [PASSPHRASE] [CHANNEL]: a WPA2-PSK (CCMP) AP on the
# phy's wlan interface, 2.4 GHz channel 6 by default. Waits until the
# control socket says state=ENABLED. Sets WD_AP_IFACE; control socket under
# /var/run/hostapd.
wd_start_ap() {
  local phy=$1 ssid=${2:-wdtest} pass=${3:-wdtest-passphrase} chan=${4:-6}
  local ifc hw=g
  ifc=$(wd_phy_iface "$phy") || wd_fail "no wlan interface on $phy"
  [ "$chan" -gt 14 ] && hw=a
  cat >"$WD_STATE/hostapd-$ifc.conf" <<CONF
interface=$ifc
driver=nl80211
ctrl_interface=/var/run/hostapd
ssid=$ssid
country_code=US
hw_mode=$hw
channel=$chan
wpa=2
wpa_key_mgmt=WPA-PSK
rsn_pairwise=CCMP
wpa_passphrase=$pass
CONF
  hostapd -B -P "$WD_STATE/hostapd-$ifc.pid" -f "$WD_STATE/hostapd-$ifc.log" \
    "$WD_STATE/hostapd-$ifc.conf" >/dev/null ||
    wd_fail "hostapd did not start on $ifc"
  local pid
  pid=$(cat "$WD_STATE/hostapd-$ifc.pid")
  wd_wait_for 60 "hostapd AP enabled on $ifc ($phy, channel $chan)" \
    sh -c "kill -0 $pid || exit 0; hostapd_cli -p /var/run/hostapd -i $ifc status | grep -qx state=ENABLED"
  kill -0 "$pid" 2>/dev/null || wd_fail "hostapd on $ifc exited"
  WD_AP_IFACE=$ifc
}

# wd_start_sta PHY [SSID] [PASSPHRASE]: wpa_supplicant on the phy's wlan
# interface; waits for wpa_state=COMPLETED. Sets WD_STA_IFACE; control socket
# under /var/run/wpa_supplicant.
wd_start_sta() {
  local phy=$1 ssid=${2:-wdtest} pass=${3:-wdtest-passphrase}
  local ifc
  ifc=$(wd_phy_iface "$phy") || wd_fail "no wlan interface on $phy"
  cat >"$WD_STATE/wpa-$ifc.conf" <<CONF
ctrl_interface=/var/run/wpa_supplicant
network={
  ssid="$ssid"
  psk="$pass"
  key_mgmt=WPA-PSK
  proto=RSN
  pairwise=CCMP
  group=CCMP
}
CONF
  wpa_supplicant -B -i "$ifc" -c "$WD_STATE/wpa-$ifc.conf" -P "$WD_STATE/wpa-$ifc.pid" \
    -f "$WD_STATE/wpa-$ifc.log" >/dev/null ||
    wd_fail "wpa_supplicant did not start on $ifc"
  wd_wait_for 90 "wpa_supplicant on $ifc ($phy) associated (wpa_state=COMPLETED)" \
    sh -c "wpa_cli -p /var/run/wpa_supplicant -i $ifc status | grep -qx wpa_state=COMPLETED"
  WD_STA_IFACE=$ifc
}

# wd_add_monitor PHY NAME: adds a monitor interface and brings it up.
wd_add_monitor() {
  iw phy "$1" interface add "$2" type monitor || wd_fail "cannot add monitor $2 on $1"
  ip link set "$2" up || wd_fail "cannot bring $2 up"
  echo "ok: monitor interface $2 on $1"
}

# wd_set_freq IFACE FREQ [WIDTH CENTER1]: retunes (e.g. 5180 80 5210) and
# checks that nl80211 reports the new channel.
wd_set_freq() {
  local ifc=$1 freq=$2
  shift 2
  iw dev "$ifc" set freq "$freq" "$@" || wd_fail "iw dev $ifc set freq $freq $* refused"
  wd_wait_for 10 "$ifc tuned to $freq MHz${1:+ width $1}" \
    sh -c "iw dev $ifc info | grep -q 'channel .*($freq MHz)'"
}

# wd_debugfs_tmpfs: a tmpfs over /sys/kernel/debug (debugfs has no mkdir; the
# programs under test need nothing else from it). Idempotent.
wd_debugfs_tmpfs() {
  [ -e "$WD_STATE/debugfs-tmpfs" ] && return 0
  mount -t tmpfs -o mode=700 wd-debugfs "$WD_DEBUGFS" || wd_fail "cannot mount tmpfs on $WD_DEBUGFS"
  : >"$WD_STATE/debugfs-tmpfs"
}

# wd_start_fakeath PHY [DRIVER [fakeath options...]]: serves the simulated
# spectral files at /sys/kernel/debug/ieee80211/PHY/DRIVER (driver ath11k by
# default). Sets WD_FAKEATH_DIR and WD_FAKEATH_LOG (the written words).
wd_start_fakeath() {
  local phy=$1 drv=${2:-ath11k}
  shift
  [ $# -gt 0 ] && shift
  local n=${phy#phy}
  wd_debugfs_tmpfs
  WD_FAKEATH_DIR=$WD_DEBUGFS/ieee80211/$phy/$drv
  WD_FAKEATH_LOG=$WD_STATE/fakeath-$phy.words
  rm -f "$WD_STATE/fakeath-$phy.ready"
  "$WD_FAKEATH" --phy "$n" --driver "$drv" --log "$WD_FAKEATH_LOG" \
    --ready-file "$WD_STATE/fakeath-$phy.ready" "$@" >"$WD_STATE/fakeath-$phy.log" 2>&1 &
  echo $! >"$WD_STATE/fakeath-$phy.pid"
  wd_wait_for 20 "fakeath serving $WD_FAKEATH_DIR" test -e "$WD_STATE/fakeath-$phy.ready"
}

# wd_stop_pid_file FILE WHAT: SIGTERM to the process whose pid FILE holds,
# then waits until it is gone (for fakeath: its unmount is done).
wd_stop_pid_file() {
  local pid
  pid=$(cat "$1" 2>/dev/null) || return 0
  kill -TERM "$pid" 2>/dev/null
  wd_wait_for 10 "$2 stopped" sh -c "! kill -0 $pid"
  rm -f "$1"
}

# wd_stop_fakeath PHY
wd_stop_fakeath() { wd_stop_pid_file "$WD_STATE/fakeath-$1.pid" "fakeath on $1"; }

# wd_ctl PHY WORD: writes a control word the way the daemon does (open,
# write, close). Fails when the write or the close is refused: dd checks
# close, a shell redirection does not.
wd_ctl() {
  local dir
  dir=$(ls -d "$WD_DEBUGFS/ieee80211/$1"/ath1?k 2>/dev/null | head -n 1)
  printf '%s' "$2" | dd of="$dir/spectral_scan_ctl" status=none 2>/dev/null
}

# wd_start_fw_diag FILE [fakeath feeder options...]: feeds the records in
# FILE into the FIFO at $WD_FW_DIAG (created). Keeps it open until stopped.
wd_start_fw_diag() {
  local file=$1
  shift
  wd_debugfs_tmpfs
  "$WD_FAKEATH" --fw-diag "$file" --ready-file "$WD_STATE/fw_diag.ready" "$@" \
    >"$WD_STATE/fw_diag.log" 2>&1 &
  echo $! >"$WD_STATE/fw_diag.pid"
  wd_wait_for 10 "fw_diag FIFO at $WD_FW_DIAG" test -p "$WD_FW_DIAG"
}

wd_stop_fw_diag() { wd_stop_pid_file "$WD_STATE/fw_diag.pid" "fw_diag feeder"; }

# wd_read_once FILE: size of what one read of a stream file returns.
wd_read_once() { dd if="$1" bs=4M count=1 2>/dev/null | wc -c; }
