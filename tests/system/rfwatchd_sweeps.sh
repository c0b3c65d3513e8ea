#!/bin/bash
# SPDX-License-Identifier: MIT
# rfwatchd's sweeps on the simulated ath11k radio with a hostapd AP as the
# monitor phy's primary: the background sweep given with -S (only once the
# first samples told the width), client sweeps that take the AP down and
# bring it back on cancellation, time-out or the daemon's exit, and the
# background sweep resuming after each. The driver's channel-width and
# frequency-shift settings are zeroed for each client sweep and hold their
# real values again after it, however it ends.
set -u
. "$WD_GUEST_LIB"
rfwatchd=$1
view=$2
sock=$WD_STATE/rfwatchd.sock
log=$WD_STATE/rfwatchd.log
out=$WD_STATE/rfwatchd.out
lines=$WD_STATE/reader.lines

# Sends one command and stays connected until the daemon has announced it
# (every command read is announced on its standard output): a client that
# hangs up before its command is read may be dropped with it unread, and a
# pass of the loop can take seconds on a loaded machine under emulation.
command() { send "$*" "$view" -s "$sock" "$@" -t 300; }
# rfwatch-view refuses what the sweep engine would refuse; such a command
# reaches the daemon as raw JSON.
raw_command() {
  send "$1" python3 -c 'import socket, sys, time
s = socket.socket(socket.AF_UNIX)
s.connect(sys.argv[1])
s.sendall(sys.argv[2].encode())
time.sleep(300)' "$sock" "$1"
}
# send WHAT SENDER...: runs the sender until the daemon announced WHAT.
send() {
  local before v what=$1
  shift
  before=$(grep -c '^Sweep ' "$out")
  "$@" >/dev/null 2>&1 &
  v=$!
  wd_wait_for 60 "the daemon read the command ($what)" \
    sh -c "test \$(grep -c '^Sweep ' $out) -gt $before"
  kill $v 2>/dev/null
  wait $v 2>/dev/null
}
count() { grep -c "$1" "$2"; }
# Frequencies seen in the reader's lines after line N.
freqs_after() { tail -n +"$(($1 + 1))" "$lines" | awk '{ print $3 }' | sort -un | tr '\n' ' '; }

wd_start_ap phy0
ap=$WD_AP_IFACE
wd_add_monitor phy0 mon0
wd_start_fakeath phy0 ath11k --rate 400 --refuse-at-close disable
words=$WD_FAKEATH_LOG
# Real values for the settings, so that a sweep's zeros left behind show.
echo 10 >"$WD_FAKEATH_DIR/chan_bw"
echo 5 >"$WD_FAKEATH_DIR/freq_shift"
settings() { echo "$(cat "$WD_FAKEATH_DIR/chan_bw") $(cat "$WD_FAKEATH_DIR/freq_shift")"; }
wd_check "the driver starts with its own settings" test "$(settings)" = "10 5"

"$rfwatchd" -m mon0 -i "$ap" -S 2400-2500 -s "$sock" >"$out" 2>"$log" &
pid=$!
wd_wait_for 60 "rfwatchd serving" grep -q '^Server initialization successful$' "$log"

# --- the background sweep ---
wd_wait_for 40 "the background sweep started" grep -q '^Starting agile sweep for range 2400 - 2500\.$' "$log"
wd_check "it waited for the first samples' width" \
  sh -c "grep -n -e '^Bandwidth changed to 20 MHz' -e '^Starting agile sweep' $log | head -n 1 | grep -q Bandwidth"
wd_check "20 MHz slices, 25 ms each, no end" \
  grep -q '^Started sweep with known phy: 2400-2500 MHz, 5 channels, 25 ms dwell, infinite duration$' "$log"
wd_wait_for 40 "the agile words walk the slices" \
  sh -c "grep -q '^spectral_scan_ctl agile 2410' $words && grep -q '^spectral_scan_ctl agile 2490' $words"
wd_check "the AP stays up under the background sweep" wd_is_up "$ap"

"$view" -s "$sock" --lines -t 900 >"$lines" 2>/dev/null &
reader=$!
wd_wait_for 40 "a client receives lines" test -s "$lines"

# --- a cancellation with no client sweep writes no settings ---
command -c
wd_wait_for 30 "the stray cancellation was announced" grep -q '^Sweep cancellation for client [0-9]*$' "$out"
wd_check "it wrote no settings" sh -c "! grep -q '^Setting chan_bw to: ' $log"
wd_check "the driver keeps its settings" test "$(settings)" = "10 5"
wd_wait_for 30 "the background sweep runs again" \
  sh -c "test \$(grep -c '^Starting agile sweep' $log) -ge 2"

# --- an active sweep by a client, cancelled by another ---
agile_starts=$(count '^Starting agile sweep' "$log")
mark=$(wc -l <"$lines")
command -w 2400-2500,0,600
wd_wait_for 30 "the sweep was announced" \
  grep -q '^Sweep for client [0-9]*: 2400-2500 MHz, duration=0 s, dwell=600 ms$' "$out"
wd_wait_for 30 "the active sweep started" grep -q '^Starting active sweep for range 2400 - 2500\.$' "$log"
wd_check "the driver settings were saved and zeroed" grep -q '^Setting chan_bw to: 0$' "$log"
wd_check "the driver holds zeros during the sweep" test "$(settings)" = "0 0"
wd_check "$ap is down during the sweep" wd_is_down "$ap"
wd_check "mon0 is up during the sweep" wd_is_up mon0
wd_wait_for 40 "the lines visit 2412, 2432, 2452 and 2462 MHz" \
  sh -c "freqs_() { tail -n +$((mark + 1)) $lines | awk '{ print \$3 }' | sort -un | tr '\n' ' '; }; f=\$(freqs_); for c in 2412 2432 2452 2462; do case \" \$f\" in *\" \$c \"*) ;; *) exit 1 ;; esac; done"
wd_log "frequencies during the active sweep: $(freqs_after "$mark")"
wd_check "no background sweep ran meanwhile" test "$(count '^Starting agile sweep' "$log")" -eq "$agile_starts"

cancels=$(count '^Sweep cancellation for client [0-9]*$' "$out")
cancelled=$(count '^Cancelled sweep for interface mon0$' "$log")
command -c
wd_wait_for 30 "the cancellation was confirmed" \
  sh -c "test \$(grep -c '^Sweep cancellation for client [0-9]*\$' $out) -gt $cancels"
wd_wait_for 30 "the sweep was cancelled" \
  sh -c "test \$(grep -c '^Cancelled sweep for interface mon0\$' $log) -gt $cancelled"
wd_wait_for 30 "$ap is up again" wd_is_up "$ap"
wd_check "mon0 is down again" wd_is_down mon0
wd_check "the settings are the driver's own again" test "$(settings)" = "10 5"
wd_wait_for 30 "the background sweep resumed" \
  sh -c "test \$(grep -c '^Starting agile sweep' $log) -gt $agile_starts"

# --- a sweep with a duration ends by itself ---
agile_starts=$(count '^Starting agile sweep' "$log")
# Timed from the request: the sweep cannot start before it, and polling
# the log for its start would be late by a poll or two under emulation.
downs=$(count "^Setting interface $ap (idx=[0-9]*) DOWN" "$log")
started=$(date +%s%N)
command -w 2400-2500,3,600
wd_wait_for 30 "the timed sweep started" \
  sh -c "test \$(grep -c '^Starting active sweep' $log) -ge 2"
# Its 3 s may be over by now on a loaded machine: the log tells.
wd_check "$ap was taken down for the timed sweep" \
  test "$(count "^Setting interface $ap (idx=[0-9]*) DOWN" "$log")" -gt "$downs"
wd_wait_for 40 "Sweep timeout, restoring config" grep -q '^Sweep timeout, restoring config$' "$log"
took=$((($(date +%s%N) - started) / 1000000))
# Never before its 3 s; that it ends at all is the wait above.
wd_check "it ended 3 s or more after it was asked for ($took ms)" test "$took" -ge 3000
wd_wait_for 30 "$ap is up again after the time-out" wd_is_up "$ap"
wd_check "the time-out wrote the settings back" test "$(settings)" = "10 5"
wd_wait_for 30 "the background sweep resumed after the time-out" \
  sh -c "test \$(grep -c '^Starting agile sweep' $log) -gt $agile_starts"

# --- a second sweep started while one runs keeps the saved settings ---
actives=$(count '^Starting active sweep' "$log")
command -w 2400-2500,0,600
wd_wait_for 30 "a first active sweep started" \
  sh -c "test \$(grep -c '^Starting active sweep' $log) -gt $actives"
command -w 2412-2462,0,600
wd_wait_for 30 "a second one replaced it" grep -q '^Starting active sweep for range 2412 - 2462\.$' "$log"
wd_check "the driver holds zeros" test "$(settings)" = "0 0"
cancels=$(count '^Sweep cancellation for client' "$out")
command -c
wd_wait_for 30 "the cancellation was announced" \
  sh -c "test \$(grep -c '^Sweep cancellation for client' $out) -gt $cancels"
wd_wait_for 30 "$ap is up again after the second sweep" wd_is_up "$ap"
wd_check "the driver's own settings came back, not the first sweep's zeros" \
  test "$(settings)" = "10 5"

# --- a sweep the engine refuses ---
raw_command '{"command":2,"sweep_from":2412,"sweep_to":2412}'
wd_wait_for 30 "equal ends are announced, then refused" grep -q '^Failed to start sweep: Invalid parameters$' "$log"

# The refused "disable" words (the driver refuses them at close) went by.
wd_check "the simulated driver refused disable words" grep -q '^spectral_scan_ctl disable refused' "$words"
kill -0 $pid || wd_fail "rfwatchd exited: $(tail -n 5 "$log")"
wd_check "the reader was never dropped" kill -0 $reader

# --- stopped in the middle of an active sweep: the AP comes back ---
actives=$(count '^Starting active sweep' "$log")
command -w 2400-2500,0,600
wd_wait_for 30 "one more active sweep started" \
  sh -c "test \$(grep -c '^Starting active sweep' $log) -gt $actives"
wd_check "$ap is down during it" wd_is_down "$ap"
written=$(count '^Setting chan_bw to: ' "$log")
kill -TERM $pid
wait $pid
status=$?
wd_check "exit status 0 after SIGTERM (got $status)" test $status -eq 0
wd_check "the sweep was cancelled on the way out" \
  sh -c "tail -n 8 $log | grep -q '^Cancelled sweep for interface mon0$'"
wd_check "$ap is up again after the exit" wd_is_up "$ap"
wd_check "the saved driver settings were written back" \
  test "$(count '^Setting chan_bw to: ' "$log")" -gt "$written"
wd_check "the driver has its own settings after the exit" test "$(settings)" = "10 5"
wd_check "disable is still the last word written" \
  sh -c "tail -n 1 $words | grep -q '^spectral_scan_ctl disable'"
cp "$log" "$out" "$words" "$lines" "$WD_OUT/" 2>/dev/null
wd_log "rfwatchd_sweeps: all checks passed"
