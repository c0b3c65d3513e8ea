#!/bin/bash
# SPDX-License-Identifier: MIT
# A soak of rfwatchd on the simulated ath11k radio with a hostapd AP as the
# monitor phy's primary: a thousand short connections, bad commands, slow
# readers, clients that stop reading, active sweeps cancelled, replaced and
# timed out (soak-clients drives them all). Afterwards the daemon must hold
# no more descriptors and barely more memory than before, still stream whole
# lines, have its AP up, and have given the driver back the settings it had
# before the first sweep.
set -u
. "$WD_GUEST_LIB"
rfwatchd=$1
clients="$(dirname "$0")/soak-clients"
sock=$WD_STATE/rfwatchd.sock
# Not *.log: wd_fail prints those raw, and this one echoes binary junk.
log=$WD_STATE/rfwatchd.err
out=$WD_STATE/rfwatchd.out

# The daemon's descriptors, "fd target" a line. It opens the driver's files
# around each read and write, so a listing can catch one of those open:
# they are left out.
fd_list() {
  local f t
  for f in /proc/"$pid"/fd/*; do
    t=$(readlink "$f") || continue
    case "$t" in "$drv"/*) continue ;; esac
    echo "${f##*/} $t"
  done | sort -n
}
same_fds() { [ "$(fd_list)" = "$1" ]; }
# Connections waiting in the listening socket's queue (a client that closed
# before the daemon took it still waits there).
pending() { ss -xlH src "$sock" | awk '{ print $3 }'; }
# smaps_rollup counts exactly; VmRSS is updated lazily.
driver_value() { cat "$drv/$1"; }
alive() { kill -0 "$pid" 2>/dev/null || wd_fail "rfwatchd exited: $(tail -n 5 "$log")"; }
# Waits until no connection waits and the daemon holds exactly the
# descriptors of the listing given: clients it has not noticed gone yet go
# at its next flush.
wait_for_fds() {
  local limit=$1 want=$2 what=$3 start=$SECONDS
  while [ "$(pending)" != 0 ] || ! same_fds "$want"; do
    if [ $((SECONDS - start)) -ge "$limit" ]; then
      echo "---- descriptors expected ----"
      echo "$want" | sed 's/^/  /'
      echo "---- descriptors held ----"
      fd_list | sed 's/^/  /'
      echo "---- connections waiting to be accepted: $(pending) ----"
      wd_fail "$what: the daemon's descriptors did not come back within ${limit}s"
    fi
    sleep 0.2
  done
  echo "ok: $what ($(echo "$want" | wc -l) descriptors)"
}

# The logs come back whatever the outcome; on a failure the daemon's last
# messages are shown with the junk made visible.
finish() {
  local status=$?
  cp "$log" "$out" "$WD_OUT/" 2>/dev/null
  [ -n "${WD_FAKEATH_LOG:-}" ] && cp "$WD_FAKEATH_LOG" "$WD_OUT/" 2>/dev/null
  if [ "$status" -ne 0 ] && [ -e "$log" ]; then
    echo "---- $log (last 30 lines) ----"
    tail -n 30 "$log" | cut -c 1-200 | cat -v | sed 's/^/  /'
  fi
  if [ "$status" -ne 0 ] && [ -n "${pid:-}" ] && kill -0 "$pid" 2>/dev/null; then
    echo "---- rfwatchd $pid: state, CPU ticks a second apart, kernel stack ----"
    grep '^State' "/proc/$pid/status" | sed 's/^/  /'
    echo "  ticks $(cut -d' ' -f14,15 "/proc/$pid/stat")"
    sleep 1
    echo "  ticks $(cut -d' ' -f14,15 "/proc/$pid/stat"); wchan $(cat "/proc/$pid/wchan")"
    echo "  syscall $(cat "/proc/$pid/syscall")"
    sed 's/^/  /' "/proc/$pid/stack" 2>/dev/null
    echo "  words written by then: $(wc -l <"$WD_FAKEATH_LOG"), a second later: $(sleep 1; wc -l <"$WD_FAKEATH_LOG")"
  fi
}
trap finish EXIT

began=$SECONDS
wd_start_ap phy0
ap=$WD_AP_IFACE
wd_add_monitor phy0 mon0
# A low rate: the daemon reads up to 1000 reports in one turn of its loop,
# re-reading the file as long as reports keep coming, and it accepts one
# connection a turn. At 400 a second, under emulation on a busy host, the
# reads kept finding new reports and a turn lasted seconds; at 50 most reads
# find none and end the turn. Lines still come every 100 ms.
wd_start_fakeath phy0 ath11k --rate 50
drv=$WD_FAKEATH_DIR

# Settings the driver holds before any sweep; zero would not tell a
# restored value from a cleared one.
printf 2 | dd of="$drv/chan_bw" status=none || wd_fail "chan_bw refused 2"
printf 5 | dd of="$drv/freq_shift" status=none || wd_fail "freq_shift refused 5"
chan_bw0=$(driver_value chan_bw)
freq_shift0=$(driver_value freq_shift)
wd_check "the driver holds chan_bw 2 and freq_shift 5" test "$chan_bw0" = 2 -a "$freq_shift0" = 5

"$rfwatchd" -m mon0 -i "$ap" -s "$sock" >"$out" 2>"$log" &
pid=$!
wd_wait_for 60 "rfwatchd serving" grep -q '^Server initialization successful$' "$log"
fds_idle=$(fd_list)

# --- warm-up ---
# The baseline is taken after a small run of everything the soak does
# (each kind of client and of bad command, a client dropped for not
# reading, sweeps cancelled, replaced and timed out), so that it includes
# what the daemon allocates once: stdio buffers, heap arenas, the pages of
# the sample buffer and of the stack that a pass touches, and the code and
# locale data of each path. Clients' own memory goes with them. It begins
# with a CancelSweep, before any sweep.
wd_log "warm-up"
"$clients" --socket "$sock" --out "$out" --log "$log" --ap "$ap" --driver-dir "$drv" --seed 7 --cancel-first \
  --clients 45 --bad 30 --sweeps 2 --replace 1 --timeouts 1 --idle-cancels 1 --slow 2 \
  --stallers 1 --report "$WD_OUT/warmup.txt" || wd_fail "the warm-up failed"
alive
wait_for_fds 120 "$fds_idle" "every warm-up client gone"
fds_before=$fds_idle
rss_before=$(wd_rss "$pid")

# --- the soak ---
wd_log "soak"
log_mark=$(stat -c %s "$log")
soak_began=$SECONDS
"$clients" --socket "$sock" --out "$out" --log "$log" --ap "$ap" --driver-dir "$drv" --seed 11 \
  --clients 1000 --bad 300 --sweeps 20 --replace 5 --timeouts 5 --idle-cancels 5 --slow 5 \
  --stallers 5 --report "$WD_OUT/soak.txt"
soak_status=$?
soak_seconds=$((SECONDS - soak_began))
alive
[ "$soak_status" -eq 0 ] || wd_fail "the soak's clients failed (status $soak_status)"
wd_log "the soak's clients have ended"
wait_for_fds 120 "$fds_before" "every soak client gone"
fds_after=$(fd_list)
rss_after=$(wd_rss "$pid")
figure() { sed -n "s/^$1=//p" "$WD_OUT/soak.txt"; }
dropped=$(tail -c +$((log_mark + 1)) "$log" | grep -ac '^Client [0-9]* not reading, dropped$')

# --- afterwards ---
wd_log "a new client"
timeout 200 "$clients" --socket "$sock" --stream 50 >"$WD_STATE/stream.txt"
stream_status=$?
cat "$WD_STATE/stream.txt"
ap_up=no
wd_is_up "$ap" && ap_up=yes
chan_bw1=$(driver_value chan_bw)
freq_shift1=$(driver_value freq_shift)

n_before=$(echo "$fds_before" | wc -l)
n_after=$(echo "$fds_after" | wc -l)
{
  echo "descriptors before=$n_before after=$n_after"
  echo "rss_kb before=$rss_before after=$rss_after growth=$((rss_after - rss_before))"
  echo "lines delivered=$(figure lines) (slow readers $(figure slow_lines))"
  echo "clients dropped for not reading=$dropped (stalled clients $(figure stallers_dropped), slow readers $(figure slow_dropped))"
  echo "connections=$(figure connections) bad_commands=$(figure bad_commands) markers_lost=$(figure markers_lost)"
  echo "sweeps cancelled=$(figure cancelled) replaced=$(figure replaced) timed_out=$(figure timed_out) idle_cancels=$(figure idle_cancels)"
  echo "driver chan_bw=$chan_bw1 freq_shift=$freq_shift1 (before the first sweep: $chan_bw0 $freq_shift0)"
  echo "soak seconds=$soak_seconds scenario seconds so far=$((SECONDS - began))"
} | tee "$WD_OUT/figures.txt"

wd_check "a new client receives 50 whole lines" test "$stream_status" -eq 0
wd_check "the same descriptors as before the soak ($n_before, $n_after)" test "$fds_after" = "$fds_before"
wd_check "resident memory grew by less than 256 kB ($((rss_after - rss_before)) kB)" \
  test $((rss_after - rss_before)) -lt 256
wd_check "the primary $ap is up" test "$ap_up" = yes
kill -TERM "$pid"
wait "$pid"
status=$?
wd_check "exit status 0 after SIGTERM (got $status)" test "$status" -eq 0
wd_check "chan_bw holds its value from before the first sweep ($chan_bw1, was $chan_bw0)" \
  test "$chan_bw1" = "$chan_bw0"
wd_check "freq_shift holds its value from before the first sweep ($freq_shift1, was $freq_shift0)" \
  test "$freq_shift1" = "$freq_shift0"
wd_log "rfwatchd_soak: all checks passed in $((SECONDS - began)) s"
