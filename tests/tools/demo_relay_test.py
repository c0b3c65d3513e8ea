#!/usr/bin/env python3
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
import threading
import time

RELAY = sys.argv[1]
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


def echo_daemon(path, greeting):
    """Like rfwatchd: writes to each client first, then echoes what it reads
    back in upper case until the client closes."""
    srv = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    srv.bind(path)
    srv.listen()

    def client(c):
        with c:
            try:
                c.sendall(greeting)
                while data := c.recv(65536):
                    c.sendall(data.upper())
            except OSError:
                pass  # the readiness probes hang up at once

    def accept():
        while True:
            try:
                c, _ = srv.accept()
            except OSError:
                return
            threading.Thread(target=client, args=(c,), daemon=True).start()

    threading.Thread(target=accept, daemon=True).start()
    return srv


def recv_exactly(s, n):
    got = b""
    while len(got) < n:
        data = s.recv(n - len(got))
        if not data:
            break
        got += data
    return got


def main():
    d = tempfile.mkdtemp()
    daemon_path, host_path = os.path.join(d, "daemon.sock"), os.path.join(d, "host.sock")
    port = free_port()
    greeting = b'{"freq":2437,"bins":[-90.5]}\n' * 3000  # larger than one read
    daemon = echo_daemon(daemon_path, greeting)
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
            if recv_exactly(c, 13) != b'{"COMMAND":3}':
                sys.exit("FAIL: the command did not reach the daemon")

        # The daemon goes away: a client gets an end of stream, not a hang.
        daemon.close()
        os.unlink(daemon_path)
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
    print("ok: lines and commands relayed intact; host end private; missing daemon refused")


main()
