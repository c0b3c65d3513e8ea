#!/bin/bash
# SPDX-License-Identifier: MIT
# The amd64 packages installed by dpkg on the emulated access point, and the
# installed rfwatchd@mon0 and rfwatch-web run as their units would run them
# (tests/system/run-unit reads the installed unit files) against the
# simulated ath11k radio next to a hostapd AP.
#
# The guest's root is the host's, read-only: /usr, /etc and /var get an
# overlay with a tmpfs upper layer, so that dpkg really installs (dependency
# checks, maintainer scripts, its database) and nothing reaches the host.
set -u
# shellcheck source=../../testbed/vm/guest-lib.sh
. "$WD_GUEST_LIB"
debs=$1
here=$(dirname "$(readlink -f "$0")")
run_unit=$here/run-unit
units=/lib/systemd/system
port=8080
# A uid in systemd's dynamic range that no account holds, for rfwatch-web.
web_uid=61234
# A uid in no group at all, to try the socket as nobody in particular.
stranger=61999

pkgs=(wifidiag libairtally0 libairtally-dev)
files=()
for p in "${pkgs[@]}"; do
  f=$(find "$debs" -maxdepth 1 -name "${p}_*_amd64.deb" | head -n 1)
  [ -n "$f" ] || wd_fail "no ${p}_*_amd64.deb in $debs"
  files+=("$f")
done

# --- a writable root: overlays over the host's /usr, /etc and /var ---
modprobe overlay || wd_fail "no overlay module"
for d in usr etc var; do
  mkdir -p "/tmp/root-upper/$d" "/tmp/root-work/$d"
  mount -t overlay -o "lowerdir=/$d,upperdir=/tmp/root-upper/$d,workdir=/tmp/root-work/$d" "root-$d" "/$d" ||
    wd_fail "cannot put an overlay on /$d"
done
wd_check "/lib is /usr/lib (the overlay on /usr covers it)" test "$(readlink -f /lib)" = /usr/lib
for p in "${pkgs[@]}"; do
  wd_check "$p is not installed before" sh -c "! dpkg-query -W -f '\${Status}' $p 2>/dev/null | grep -q 'ok installed'"
done
wd_check "no group wifidiag before" sh -c "! getent group wifidiag"

# --- install ---
# man-db's trigger would index every page over 9p under emulation, minutes
# for nothing checked here: its own switch turns the indexing off.
rm -f /var/lib/man-db/auto-update
# Each line of dpkg's output with the time it came, to see where time goes.
dpkg -i "${files[@]}" 2>&1 | while IFS= read -r line; do wd_log "$line"; done >"$WD_OUT/dpkg.log"
status=${PIPESTATUS[0]}
sed 's/^/  /' "$WD_OUT/dpkg.log"
wd_check "dpkg -i ${files[*]##*/} (status $status)" test "$status" -eq 0
for p in "${pkgs[@]}"; do
  wd_check "dpkg reports $p installed" test "$(dpkg-query -W -f '${Status}' "$p")" = "install ok installed"
done
wd_check "dpkg --audit finds nothing" test -z "$(dpkg --audit)"
gid=$(getent group wifidiag | cut -d: -f3)
wd_check "the postinst made the system group wifidiag (gid ${gid:-none})" test -n "$gid" -a "${gid:-0}" -lt 1000
wd_check "the units are installed" test -f "$units/rfwatchd@.service" -a -f "$units/rfwatch-web.service"
wd_check "dpkg owns the units" dpkg -S "$units/rfwatchd@.service" "$units/rfwatch-web.service"

# Nothing enabled, nothing started: which interface to watch is the
# administrator's choice.
unit_names=$(dpkg -L wifidiag | grep "^$units/.*\.service$" | xargs -n 1 basename)
wd_log "the package's units: $(echo "$unit_names" | tr '\n' ' ')"
wd_check "the package ships units" test -n "$unit_names"
enabled=$(for u in $unit_names; do find /etc/systemd /lib/systemd -name "${u%.service}*" -path '*.wants/*' 2>/dev/null; done)
wd_check "no unit of the package is enabled (${enabled:-no .wants links})" test -z "$enabled"
wd_check "no daemon was started" sh -c "! pgrep -x rfwatchd && ! pgrep -x rfwatch-web"

# Every file under /etc is a registered conffile, unchanged.
conffiles=$(dpkg-query -W -f '${Conffiles}\n' wifidiag | awk 'NF >= 2 { print $1 }')
wd_log "conffiles: $(echo "$conffiles" | tr '\n' ' ')"
for f in $(dpkg -L wifidiag | grep '^/etc/'); do
  [ -f "$f" ] || continue
  wd_check "$f is a conffile" sh -c "echo '$conffiles' | grep -qx '$f'"
done
wd_check "the options files are among them" sh -c \
  "echo '$conffiles' | grep -qx /etc/default/rfwatchd && echo '$conffiles' | grep -qx /etc/default/rfwatch-web"
wd_check "the conffiles' sums match the files" sh -c \
  "dpkg-query -W -f '\${Conffiles}\n' wifidiag | awk 'NF >= 2 { print \$2 \"  \" \$1 }' | md5sum -c --quiet"

# The installed programs use the installed library, never a build tree.
for b in /usr/sbin/rfwatchd /usr/bin/rfwatch-web; do
  wd_check "$b is the package's" dpkg -S "$b"
  wd_check "$b has no RPATH/RUNPATH" sh -c "! readelf -d $b | grep -q 'R.*PATH'"
  wd_check "$b finds all its libraries" sh -c "! ldd $b | grep -q 'not found'"
done
if man -l /usr/share/man/man8/rfwatchd.8.gz 2>/dev/null | grep -q rfwatchd; then
  echo "ok: the installed rfwatchd(8) page renders"
else
  wd_fail "the installed rfwatchd(8) page does not render"
fi

# --- the radio: AP on phy0, monitor mon0, simulated ath11k with a tone ---
wd_start_ap phy0 # channel 6: 2437 MHz
wd_add_monitor phy0 mon0
# The simulated debugfs files are a FUSE mount, which admits only processes
# of the mounting uid and gid: fakeath mounts them with the group the unit
# gives rfwatchd (real debugfs has no such rule; root owns its files).
cat >"$WD_STATE/fakeath-wifidiag" <<EOF
#!/bin/sh
exec setpriv --regid=$gid --keep-groups "$WD_FAKEATH" "\$@"
EOF
chmod +x "$WD_STATE/fakeath-wifidiag"
WD_FAKEATH=$WD_STATE/fakeath-wifidiag
wd_start_fakeath phy0 ath11k --rate 100 --tone c+3:-58:2

# The administrator names the AP as the primary for mon0, as the option
# file's comment says; the shipped /etc/default files stay as they are.
echo "RFWATCHD_OPTIONS=\"-i $WD_AP_IFACE\"" >/etc/default/rfwatchd-mon0

# --- rfwatchd@mon0 ---
wd_log "rfwatchd@mon0: $(python3 "$run_unit" --print --instance mon0 "$units/rfwatchd@.service" | tr '\n' ' ')"
python3 "$run_unit" --instance mon0 "$units/rfwatchd@.service" >"$WD_STATE/rfwatchd.out" 2>"$WD_STATE/rfwatchd.log" &
daemon=$!
wd_wait_for 60 "rfwatchd@mon0 serving" grep -q '^Server initialization successful$' "$WD_STATE/rfwatchd.log"
wd_check "it is the installed program" test "$(readlink "/proc/$daemon/exe")" = /usr/sbin/rfwatchd
wd_log "rfwatchd@mon0 runs with: $(grep -E '^(Uid|Gid|Groups|CapEff|NoNewPrivs):' "/proc/$daemon/status" | tr -s '\t\n' '  ')"
wd_check "the option file for mon0 was read: $WD_AP_IFACE is the primary" \
  grep -qx "Primaries: $WD_AP_IFACE " "$WD_STATE/rfwatchd.log"
sock=/run/rfwatchd/mon0/rfwatchd.sock
wd_check "the socket is $sock" test -S "$sock"
wd_check "$sock is srwxrwx--- root:wifidiag ($(stat -c '%A %U:%G' "$sock"))" \
  test "$(stat -c '%A %U:%G' "$sock")" = "srwxrwx--- root:wifidiag"
wd_check "its directory is drwxr-x--- root:wifidiag ($(stat -c '%A %U:%G' "${sock%/*}"))" \
  test "$(stat -c '%A %U:%G' "${sock%/*}")" = "drwxr-x--- root:wifidiag"

# The group decides: the same connect as a uid with and without wifidiag.
connect="import socket; socket.socket(socket.AF_UNIX).connect('$sock')"
wd_check "a uid outside wifidiag cannot connect" sh -c \
  "! setpriv --reuid=$stranger --regid=$stranger --clear-groups python3 -c \"$connect\" 2>$WD_STATE/stranger.err"
wd_log "refused with: $(tail -n 1 "$WD_STATE/stranger.err")"
wd_check "the same uid in wifidiag connects" \
  setpriv --reuid=$stranger --regid=$stranger --groups="$gid" python3 -c "$connect"

# --- rfwatch-web, as its dynamic user, with the shipped options ---
wd_check "uid $web_uid is free" sh -c "! getent passwd $web_uid"
wd_log "rfwatch-web: $(python3 "$run_unit" --print "$units/rfwatch-web.service" | tr '\n' ' ')"
python3 "$run_unit" --dynamic-uid $web_uid "$units/rfwatch-web.service" >"$WD_STATE/web.log" 2>&1 &
web=$!
token=/var/lib/rfwatch-web/token
wd_wait_for 60 "rfwatch-web wrote its token" test -s "$token"
wd_check "it is the installed program" test "$(readlink "/proc/$web/exe")" = /usr/bin/rfwatch-web
wd_check "it runs as uid $web_uid with wifidiag" \
  sh -c "grep -q '^Uid:[[:space:]]*${web_uid}[[:space:]]' /proc/$web/status && grep -qw '^Groups:.*$gid' /proc/$web/status"
wd_check "the token is private: -rw------- $web_uid ($(stat -c '%A %u' "$token"))" \
  test "$(stat -c '%A %u' "$token")" = "-rw------- $web_uid"
wd_check "the state directory is drwx------ $web_uid ($(stat -c '%A %u' "${token%/*}"))" \
  test "$(stat -c '%A %u' "${token%/*}")" = "drwx------ $web_uid"
wd_wait_for 60 "rfwatch-web listens on 127.0.0.1:$port" \
  sh -c "ss -Htln 'sport = :$port' | grep -q '127.0.0.1:$port'"
wd_check "only on loopback" sh -c "! ss -Htln 'sport = :$port' | grep -v -q '127.0.0.1:$port'"

python3 "$here/web-tone-check" $port "$(cat "$token")" 2437 2440 -58 2 >"$WD_OUT/web-tone-check.log" 2>&1
status=$?
sed 's/^/  /' "$WD_OUT/web-tone-check.log"
wd_check "the page and the tone's frames through the installed rfwatch-web" test $status -eq 0

wd_check "rfwatch-web still runs" kill -0 $web
wd_check "rfwatchd@mon0 still runs" kill -0 $daemon
kill -TERM $web $daemon
wd_wait_for 30 "both stopped" sh -c "! kill -0 $web 2>/dev/null && ! kill -0 $daemon 2>/dev/null"
wait $daemon
status=$?
wd_check "rfwatchd@mon0 exited 0 on SIGTERM (got $status)" test $status -eq 0
cp "$WD_STATE"/*.log "$WD_OUT/" 2>/dev/null
wd_log "install_packages: all checks passed"
