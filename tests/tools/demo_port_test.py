#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""tools/demo refuses at once, naming the port and WD_DEMO_PORT, when its web
port is held (by another demo) or not a number: before building or booting
anything, so within seconds."""
import os
import socket
import subprocess
import sys

DEMO = sys.argv[1]
held = socket.socket()
held.bind(("127.0.0.1", 0))
held.listen()
busy = str(held.getsockname()[1])

failures = []
for port, want_rc, want_words in [(busy, 1, [busy, "busy", "WD_DEMO_PORT"]),
                                  ("80a", 2, ["WD_DEMO_PORT=80a"])]:
    try:
        run = subprocess.run([DEMO, "5"], env=dict(os.environ, WD_DEMO_PORT=port), capture_output=True,
                             text=True, timeout=30, stdin=subprocess.DEVNULL)
    except subprocess.TimeoutExpired:
        failures.append(f"WD_DEMO_PORT={port}: still running after 30 s")
        continue
    if run.returncode != want_rc or not all(w in run.stderr for w in want_words):
        failures.append(f"WD_DEMO_PORT={port}: exit {run.returncode}, said {run.stderr!r}; "
                        f"want exit {want_rc} naming {want_words}")
for f in failures:
    print("FAIL:", f)
print(f"{2 - len(failures)} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
