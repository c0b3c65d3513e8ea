#!/bin/bash
# SPDX-License-Identifier: MIT
# diagtail inside the VM, reading the simulated fw_diag stream (a FIFO fed
# by fakeath) through a sample message catalogue at the firmware path.
# Arguments: the diagtail and diag-sample binaries.
set -u
. "$WD_GUEST_LIB"
diagtail=$1
sample=$2
catalogue_dir=/lib/firmware/ath11k/QCN9074/hw1.0

# The host's firmware directory is read-only here; a tmpfs over it holds the
# catalogue (regulatory.db was read from the initramfs long before).
mount -t tmpfs wd-firmware /lib/firmware || wd_fail "cannot mount tmpfs on /lib/firmware"
mkdir -p "$catalogue_dir"
wd_check "diag-sample writes a catalogue and a stream" \
  "$sample" "$catalogue_dir/Data.msc" "$WD_STATE/stream.bin"

wd_start_fw_diag "$WD_STATE/stream.bin"
"$diagtail" >"$WD_STATE/diagtail.out" 2>"$WD_STATE/diagtail.err" &
pid=$!
wd_wait_for 30 "diagtail printed 14 messages" \
  sh -c "test \$(wc -l <$WD_STATE/diagtail.out) -ge 14"
# Closing the writer side ends the stream; diagtail then exits.
wd_stop_fw_diag
wd_wait_for 10 "diagtail exited at the end of the stream" sh -c "! kill -0 $pid"
wait "$pid"
status=$?
echo "---- diagtail output ----"
cat "$WD_STATE/diagtail.out"
echo "---- diagtail diagnostics ----"
cat "$WD_STATE/diagtail.err"
wd_check "diagtail exit status 0 (got $status)" test "$status" = 0
wd_check "exactly 14 lines" test "$(wc -l <"$WD_STATE/diagtail.out")" = 14
# Each expected message, rendered from the catalogue's templates and the
# sample's arguments, in stream order.
expected=(
  "WLAN: vdev 0 started on freq 5180 MHz, bw 80 MHz"
  "PHY: noise floor chain0 -96 dBm chain1 -98 dBm"
  "TX: ac 2 queued 1200 sent 1187 dropped 13"
  "BCN: missed 7 consecutive beacons"
  "REG: country US, 24 rules applied"
  "WDOG: firmware heartbeat"
  "THERM: throttling level 2"
  "CAL: calibration failed, code -5 on chain 1"
  "HTT: rx ring 1 refilled with 512 buffers, 75% full"
)
line=0
for e in "${expected[@]}"; do
  n=$(grep -nF -- "] $e" "$WD_STATE/diagtail.out" | head -n 1 | cut -d: -f1)
  [ -n "$n" ] || wd_fail "no line ends in: $e"
  [ "$n" -gt "$line" ] || wd_fail "out of order: $e (line $n)"
  line=$n
  echo "ok: line $n: $e"
done
wd_check "every line has the [timestamp] [LEVEL (unit)] prefix" \
  sh -c "! grep -vE '^\[[0-9a-f]+\] \[[A-Z0-9_]+ \([0-9]+\)\] ' $WD_STATE/diagtail.out"
wd_check "no message was missing from the catalogue" \
  sh -c "! grep -q WARNING $WD_STATE/diagtail.out"
wd_log "diagtail: all checks passed"
