#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""tools/demo-relay, both ends chained as the demo chains them (a Unix socket
on the host, TCP across, the daemon's Unix socket in the VM): bytes go both
ways intact, the host end is this user's only, a closing daemon closes the
client, and a missing daemon refuses the client instead of hanging it."""
import os
import socket
import stat
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'testkit'))
from fake_rfwatchd import FakeRfwatchd, spectrum_line  # noqa: E402

RELAY, FAKE_RFWATCHD = sys.argv[1], sys.argv[2]
DEADLINE_S = 30


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(check, what):
    end = time.monotonic() + DEADLINE_S
    while not check():
        if time.monotonic() > end:
            sys.exit(f"FAIL: {what}")
        time.sleep(0.05)


def connect_tcp(port):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=1).close()
        return True
    except OSError:
        return False


def recv_exactly(s, n):
    got = b""
    while len(got) < n:
        data = s.recv(n - len(got))
        if not data:
            break
        got += data
    return got


def main():
    with tempfile.TemporaryDirectory() as d:
        relay(d)


def relay(d):
    daemon_path, host_path = os.path.join(d, "daemon.sock"), os.path.join(d, "host.sock")
    port = free_port()
    lines = [spectrum_line(bins=[-90.5] * 64)] * 120  # a round larger than one read of the relay
    greeting = "".join(line + "\n" for line in lines).encode()
    daemon = FakeRfwatchd(FAKE_RFWATCHD, daemon_path, lines, 1000)
    daemon.start()
    procs = [subprocess.Popen([sys.executable, RELAY, "tcp-to-unix", f"127.0.0.1:{port}", daemon_path]),
             subprocess.Popen([sys.executable, RELAY, "unix-to-tcp", host_path, f"127.0.0.1:{port}"])]
    try:
        wait_for(lambda: connect_tcp(port), "the VM end never listened")
        wait_for(lambda: os.path.exists(host_path), "the host end never listened")
        mode = stat.S_IMODE(os.stat(host_path).st_mode)
        if mode & 0o077:
            sys.exit(f"FAIL: the host end is open to others: mode {mode:o}")

        with socket.socket(socket.AF_UNIX) as c:
            c.settimeout(DEADLINE_S)
            c.connect(host_path)
            if recv_exactly(c, len(greeting)) != greeting:
                sys.exit("FAIL: the daemon's lines did not arrive intact")
            c.sendall(b'{"command":3}')
            wait_for(lambda: daemon.commands() == [{"command": 3}], "the command did not reach the daemon")

        # The daemon goes away: a client gets an end of stream, not a hang.
        daemon.stop()
        with socket.socket(socket.AF_UNIX) as c:
            c.settimeout(DEADLINE_S)
            c.connect(host_path)
            if c.recv(1) != b"":
                sys.exit("FAIL: a client of a missing daemon got data")
    except socket.timeout:
        sys.exit("FAIL: the relay stalled")
    finally:
        for p in procs:
            p.terminate()
            p.wait()
        if daemon.running:
            daemon.stop()
    print("ok: lines and commands relayed intact; host end private; missing daemon refused")


main()
