#!/bin/bash
# SPDX-License-Identifier: MIT
# rfwatch-record and rfwatch-replay on the emulated access point. rfwatchd
# on the simulated ath11k radio with a tone next to a hostapd AP; for 60 s
# rfwatch-record keeps its lines (10 a second, and air lines) while
# rfwatch-web serves the live stream and a plain client counts the JSON
# bytes. Then the daemon is stopped and rfwatch-replay serves the recording
# on a socket of its own (twice the pace) to a second rfwatch-record, its
# first client, and to rfwatch-web: the page's frames peak on the same tone
# as live and are the recording's own, and the second recording holds all
# the first one's lines byte for byte. The recorder's CPU share and the bytes per line are
# figures, printed, not checked.
set -u
. "$WD_GUEST_LIB"
rfwatchd=$1
web=$2
record=$3
replay=$4
check="$(dirname "$0")/record-check"
sock=$WD_STATE/rfwatchd.sock
sock2=$WD_STATE/replay.sock
file=$WD_STATE/live.rfwrec
file2=$WD_STATE/replayed.rfwrec
seconds=60
# fakeath's tone: 3 MHz above channel 6's centre, 2 MHz wide.
tone_mhz=2440
tone_width=2
# What a failed run needs for its diagnosis comes back as well.
trap 'cp "$WD_STATE"/*.rfwrec "$WD_STATE"/*.log "$WD_STATE"/*.jsonl "$WD_STATE/cpu.txt" "$WD_OUT/" 2>/dev/null' EXIT

# start_web SOCKET PORT NAME: rfwatch-web on loopback, pid in web_pid.
start_web() {
  "$web" -s "$1" -l "127.0.0.1:$2" --token-file "$WD_STATE/$3.token" >"$WD_STATE/$3.log" 2>&1 &
  web_pid=$!
  wd_wait_for 30 "rfwatch-web on $1 wrote its token" test -s "$WD_STATE/$3.token"
}
# stop PID WHAT: SIGTERM, and its exit status must be 0.
stop() {
  local status
  kill -TERM "$1"
  wait "$1"
  status=$?
  wd_check "$2 exited with status 0 on SIGTERM (got $status)" test $status -eq 0
}
# gone PID: the child has exited (a zombie until it is waited for, which
# kill -0 still finds).
gone() { [ ! -e "/proc/$1" ] || grep -q ') Z' "/proc/$1/stat" 2>/dev/null; }
# cpu_samples PID: "seconds-since-the-epoch ticks ticks-per-second" each
# second while PID lives (the clock of the recording's arrival times, so
# the lines of the window can be counted); utime and stime are fields 14
# and 15 of /proc/PID/stat, counted after the command name, which may hold
# blanks.
cpu_samples() {
  local hz stat now
  hz=$(getconf CLK_TCK)
  while stat=$(cat "/proc/$1/stat" 2>/dev/null); do
    now=$EPOCHREALTIME
    stat=${stat##*) }
    [ "${stat:0:1}" = Z ] && break
    # shellcheck disable=SC2086
    set -- "$1" $stat
    echo "$now $((${13} + ${14})) $hz"
    sleep 1
  done
}

wd_start_ap phy0
wd_add_monitor phy0 mon0
wd_start_fakeath phy0 ath11k --rate 100 --tone c+3:-58:$tone_width
"$rfwatchd" -m mon0 -i "$WD_AP_IFACE" -s "$sock" >"$WD_STATE/rfwatchd.out" 2>"$WD_STATE/rfwatchd.log" &
daemon=$!
wd_wait_for 60 "rfwatchd serving" grep -q '^Server initialization successful$' "$WD_STATE/rfwatchd.log"
start_web "$sock" 8080 web-live
web_live=$web_pid

# --- live: the recorder, a plain client and the page's stream ---
python3 "$check" client "$sock" "$WD_STATE/live.lines" $seconds \
  '{"command":1,"aggregation_period_ms":100}' '{"command":4,"air_period_ms":1000}' &
client=$!
"$record" -s "$sock" -o "$file" --air --period-ms 100 --duration $seconds >"$WD_STATE/record.log" 2>&1 &
recorder=$!
cpu_samples $recorder >"$WD_STATE/cpu.txt" &
sampler=$!
wd_check "the live page's frames read" \
  python3 "$check" web-frames 8080 "$(cat "$WD_STATE/web-live.token")" 20 "$WD_STATE/live-frames.jsonl"
wd_wait_for $((seconds + 60)) "rfwatch-record --duration $seconds ended" gone $recorder
wait $recorder
status=$?
wd_check "rfwatch-record --duration exited with status 0 (got $status)" test $status -eq 0
wait $sampler
wait $client
wd_check "the live client read lines" test -s "$WD_STATE/live.lines"
# The replay alone from now on: nothing live could feed its page.
stop $web_live "rfwatch-web on the live socket"
stop $daemon rfwatchd
wd_stop_fakeath phy0

# --- the replay, recorded again and shown on the page ---
# It begins with its first client: the recorder, so that it gets every line.
"$replay" "$file" -s "$sock2" --speed 2 >"$WD_STATE/replay.log" 2>&1 &
player=$!
wd_wait_for 30 "rfwatch-replay listening" test -S "$sock2"
"$record" -s "$sock2" -o "$file2" --air >"$WD_STATE/record2.log" 2>&1 &
recorder2=$!
wd_wait_for 30 "the replay began with the recorder" grep -q 'is the first: the replay begins' "$WD_STATE/replay.log"
start_web "$sock2" 8081 web-replay
web_replay=$web_pid
wd_check "the replay page's frames read" \
  python3 "$check" web-frames 8081 "$(cat "$WD_STATE/web-replay.token")" 20 "$WD_STATE/replay-frames.jsonl"
wd_wait_for $((seconds + 60)) "rfwatch-replay reached the end" gone $player
wait $player
status=$?
wd_check "rfwatch-replay exited with status 0 at the end (got $status)" test $status -eq 0
wd_log "replay: $(grep -c 'line(s) missed' "$WD_STATE/replay.log") clients missed lines; $(grep -m 1 'air lines on' "$WD_STATE/replay.log")"
stop $recorder2 "rfwatch-record on the replay"
stop $web_replay "rfwatch-web on the replay"

wd_check "the replay's page peaks on the tone as the live one did" \
  python3 "$check" same-peak "$WD_STATE/live-frames.jsonl" "$WD_STATE/replay-frames.jsonl" $tone_mhz $tone_width
wd_check "the replay recorded again holds the lines byte for byte" \
  python3 "$check" round-trip "$file" "$file2" "$WD_STATE/replay-frames.jsonl"
python3 "$check" figures "$file" "$WD_STATE/live.lines" "$WD_STATE/cpu.txt" >"$WD_OUT/figures.txt" 2>&1 ||
  wd_fail "the figures could not be taken: $(tail -n 1 "$WD_OUT/figures.txt")"
while read -r line; do wd_log "figure: $line"; done <"$WD_OUT/figures.txt"
wd_log "rfwatch_record: all checks passed"
