#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The packaged programs say the package's upstream version: each
companion's --version, and rfwatchd -v, run from the unpacked packages of
this machine's architecture.

Usage: deb_version_test.py DEB_DIR ARCH VERSION
"""
import glob
import os
import re
import subprocess
import sys
import tempfile

DEB_DIR, ARCH, VERSION = sys.argv[1:4]
COMPANIONS = ["rfwatch-web", "rfwatch-view", "rfwatch-mqtt", "rfwatch-record", "rfwatch-replay",
              "airtally-exporter", "airtally-show", "ifward-listen"]


def main():
    failed = []
    with tempfile.TemporaryDirectory() as root:
        for package in ("wifidiag", "libairtally0"):
            [deb] = glob.glob(os.path.join(DEB_DIR, f"{package}_*_{ARCH}.deb"))
            upstream = subprocess.run(["dpkg-deb", "-f", deb, "Version"], capture_output=True,
                                      text=True, check=True).stdout.strip().rsplit("-", 1)[0]
            if upstream != VERSION:
                failed.append(f"{package} is version {upstream}, the build {VERSION}")
            subprocess.run(["dpkg-deb", "-x", deb, root], check=True)
        # The packaged library, not one installed on this machine.
        env = dict(os.environ, LD_LIBRARY_PATH=":".join(glob.glob(f"{root}/usr/lib/*")))
        runs = [([f"{root}/usr/bin/{p}", "--version"], rf"{re.escape(p)} {re.escape(VERSION)}\n")
                for p in COMPANIONS]
        runs.append(([f"{root}/usr/sbin/rfwatchd", "-v"], rf"\S*rfwatchd version {re.escape(VERSION)}\n"))
        for argv, first_line in runs:
            p = subprocess.run(argv, capture_output=True, text=True, env=env, timeout=30)
            if p.returncode != 0 or not re.match(first_line, p.stdout):
                failed.append(f"{' '.join(argv)}: status {p.returncode}: {p.stdout!r} {p.stderr!r}")
            else:
                print("ok:", p.stdout.splitlines()[0])
    for f in failed:
        print("FAIL:", f)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
