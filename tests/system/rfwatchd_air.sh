#!/bin/bash
# SPDX-License-Identifier: MIT
# rfwatchd's air lines on the simulated ath11k radio against fakeath's
# emitters and their ground truth: each class alone named right and its
# duty as the truth counts it, a microwave oven on channel 9 seen by a
# background sweep over channels 1..13 (channel 9's quality low, channel
# 1's high), the quality formula on every line, and the resident size with
# air lines on and off. The checks run to the end and the misses are
# listed together, so that every figure is printed; the confusion table
# goes to $WD_OUT/confusion.txt.
set -u
. "$WD_GUEST_LIB"
rfwatchd=$1
check="$(dirname "$0")/air-check"
sock=$WD_STATE/rfwatchd.sock
log=$WD_STATE/rfwatchd.log
out=$WD_STATE/rfwatchd.out
confusion=$WD_STATE/confusion.jsonl
: >"$confusion"
missed=""
# 10 s for the names to settle, then 20 lines a second apart to score.
span_s=32

start_daemon() {
  "$rfwatchd" -m mon0 -s "$sock" "$@" >"$out" 2>"$log" &
  pid=$!
  wd_wait_for 60 "rfwatchd $* serving" grep -q '^Server initialization successful$' "$log"
}
stop_daemon() {
  local status
  kill -TERM "$pid"
  wait "$pid"
  status=$?
  wd_check "rfwatchd exited with status 0 (got $status)" test $status -eq 0
}
# figures NAME COMMAND...: runs a check of air-check, prints its figures,
# keeps them in $WD_OUT and notes a miss instead of stopping.
figures() {
  local name=$1 status
  shift
  python3 "$check" "$@" >"$WD_OUT/$name.txt" 2>&1
  status=$?
  sed "s/^/  [$name] /" "$WD_OUT/$name.txt"
  if [ $status -ne 0 ]; then
    echo "MISSED: $name"
    missed="$missed $name"
  fi
}
# record LINES [COMMAND_JSON...]: a client's air lines until they span
# $span_s s of report time.
record() {
  local lines=$1
  shift
  wd_check "air lines recorded ($lines)" python3 "$check" record "$sock" "$lines" "$span_s" 240 "$@"
  cp "$lines" "$WD_OUT/"
}

wd_add_monitor phy0 mon0

# --- each class alone, 35 dB over the floor, in a 40 MHz capture ---
scenes=(
  "wifi,mhz=2437,width=20,duty=0.4,burst_ms=2,dbm=-60"
  "microwave,mhz=2450,width=8,mains=50,dbm=-60"
  "hopper,from=2402,to=2480,duty=0.3,dbm=-60"
  "narrowband,mhz=2455,width=2,duty=0.3,burst_ms=4,dbm=-60"
  "continuous,mhz=2440,width=10,dbm=-60"
)
for emitter in "${scenes[@]}"; do
  kind=${emitter%%,*}
  truth=$WD_STATE/truth-$kind.jsonl
  wd_start_fakeath phy0 ath11k --rate 200 --freq 2442 --width 40 \
    --emitter "$emitter" --truth "$truth"
  start_daemon -b 128
  if [ "$kind" = wifi ]; then
    # Air off costs nothing: the engine exists only once a client asks.
    sleep 3
    rss_off=$(wd_rss "$pid")
    record "$WD_STATE/air-$kind.lines" &
    recorder=$!
    wd_wait_for 60 "air lines are on" grep -q '^Air lines for client [0-9]* every 1000 ms$' "$out"
    sleep 5
    rss_on=$(wd_rss "$pid")
    wait $recorder || wd_fail "the air lines of $kind were not recorded"
    rss_end=$(wd_rss "$pid")
    wd_log "rfwatchd resident size (kB): air off $rss_off, on $rss_on after 5 s, $rss_end at the end"
    echo "rss_kb air_off=$rss_off air_on_5s=$rss_on air_on_end=$rss_end" >"$WD_OUT/rss.txt"
    if grep -qa __asan_init "$rfwatchd"; then
      echo "SKIPPED: the resident-size bound: this rfwatchd is built with AddressSanitizer, whose shadow memory and quarantine dwarf what the air lines cost"
    else
      wd_check "air lines cost under 1 MB ($((rss_end - rss_off)) kB)" test $((rss_end - rss_off)) -lt 1024
    fi
  else
    record "$WD_STATE/air-$kind.lines"
  fi
  stop_daemon
  wd_stop_fakeath phy0
  cp "$truth" "$WD_OUT/"
  figures "$kind" scene "$WD_STATE/air-$kind.lines" "$truth" "$kind" "$confusion"
done
cp "$confusion" "$WD_OUT/"
python3 "$check" table "$confusion" | tee "$WD_OUT/confusion.txt"

# --- an oven on channel 9, the radio sweeping channels 1..13 ---
# Slices of 20 MHz at 2412, 2432, 2452 and 2472 MHz: channels 1, 5, 9, 13.
wd_start_fakeath phy0 ath11k --rate 200 --freq 2437 --width 20 \
  --emitter "microwave,mhz=2452,dbm=-50" --truth "$WD_STATE/truth-oven.jsonl"
start_daemon -b 64 -S 2402-2482
wd_wait_for 60 "the background sweep started" grep -q '^Started sweep with known phy: 2402-2482 MHz, 4 channels' "$log"
record "$WD_STATE/air-oven.lines"
wd_check "lines for every slice" sh -c "for f in 2412 2432 2452 2472; do grep -q \"\\\"freq_mhz\\\":\$f,\" $WD_STATE/air-oven.lines || exit 1; done"
stop_daemon
wd_stop_fakeath phy0
figures oven oven "$WD_STATE/air-oven.lines"
cp "$log" "$out" "$WD_FAKEATH_LOG" "$WD_OUT/" 2>/dev/null

[ -z "$missed" ] || wd_fail "checks missed:$missed (figures above and in $WD_OUT)"
wd_log "rfwatchd_air: all checks passed"
