#!/bin/bash
# SPDX-License-Identifier: MIT
# A guide of doc/ followed as its reader would follow it, on the emulated
# access point: its runnable blocks (tests/doc/guide_blocks.py) in order, in
# one bash with errexit, the programs found on PATH from the build tree.
# Set up here, outside the guide, is what a reader finds in place on a real
# access point: hostapd serving wlan0 on channel 9, a radio that sees
# something (fakeath's scene: a microwave oven at 2450 MHz), the files the
# packages install under /usr/share/wifidiag and the group wifidiag, and
# broker.example and ap17.example naming this machine. The guest sees the
# host's root read-only, so /etc, /var and /usr/share get a writable overlay.
#   guide.sh GUIDE PROGRAM...
set -u
. "$WD_GUEST_LIB"
guide=$1
shift
for exe in "$@"; do PATH=$(dirname "$exe"):$PATH; done
export PATH

modprobe overlay || wd_fail "no overlay file system in the guest"
for d in /etc /var /usr/share; do
  o=$WD_STATE/overlay${d//\//_}
  mkdir -p "$o/up" "$o/work"
  mount -t overlay overlay -o "lowerdir=$d,upperdir=$o/up,workdir=$o/work" "$d" ||
    wd_fail "cannot lay a writable overlay over $d"
done
mkdir -p /usr/share/wifidiag/prometheus /usr/share/wifidiag/grafana
cp "$WD_SOURCE"/packaging/prometheus/*.rules.yml /usr/share/wifidiag/prometheus/
# The dashboard is not in every tree yet; the guide only links it.
cp "$WD_SOURCE"/packaging/grafana/*.json /usr/share/wifidiag/grafana/ 2>/dev/null || true
getent group wifidiag >/dev/null || groupadd --system wifidiag
echo "127.0.0.1 broker.example ap17.example" >>/etc/hosts

wd_start_ap phy0 wdtest wdtest-passphrase 9
wd_start_fakeath phy0 ath11k --rate 200 --emitter "microwave,mhz=2450,dbm=-50"

script=$WD_OUT/$(basename "$guide" .md).sh
python3 -B "$WD_SOURCE/tests/doc/guide_blocks.py" "$guide" >"$script" ||
  wd_fail "the runnable blocks of $guide could not be extracted"
cd "$WD_STATE" || wd_fail "no $WD_STATE"
# bash, not sh: errexit stops at the first failing command, and the EXIT
# trap names the block it was in and stops what the guide left running.
bash -c '
  trap '\''status=$?
    [ -n "${wd_guide_block:-}" ] && echo "FAILED in $wd_guide_block with status $status"
    jobs -p | xargs -r kill 2>/dev/null || true
    exit $status'\'' EXIT
  . "$1"' guide "$script"
status=$?
cp /tmp/*.log /var/log/mosquitto/mosquitto.log "$WD_OUT/" 2>/dev/null
[ $status -eq 0 ] || wd_fail "$(basename "$guide"): a runnable block failed (status $status)"
wd_log "$(basename "$guide"): every runnable block passed"
