#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Each companion's --version and -V print "NAME VERSION" and the commit
built, --help's first line "NAME VERSION - ...", with status 0 (1 when the
text cannot be written); the generating script says "unknown" outside a
git checkout and leaves an unchanged file alone.

Usage: programs_version_test.py VERSION SOURCE_DIR SCRIPT NAME=BINARY...
"""
import os
import re
import subprocess
import sys
import tempfile
import unittest

VERSION, SOURCE, SCRIPT = sys.argv[1:4]
PROGRAMS = dict(a.split("=", 1) for a in sys.argv[4:])


def run(argv, **kw):
    kw.setdefault("capture_output", True)
    return subprocess.run(argv, stdin=subprocess.DEVNULL, text=True, timeout=30, **kw)


class Version(unittest.TestCase):
    def test_programs(self):
        for name, binary in PROGRAMS.items():
            with self.subTest(name):
                long, short, help = (run([binary] + a)
                                     for a in (["--version", "--bogus"], ["-V"], ["--help"]))
                self.assertEqual((long.returncode, long.stderr, short.stdout), (0, "", long.stdout))
                m = re.fullmatch(rf"{re.escape(name)} {re.escape(VERSION)}\n"
                                 r"commit (unknown|([0-9a-f]{7,})(-dirty)?)\n", long.stdout)
                self.assertTrue(m, long.stdout)
                if m.group(2):  # a commit this checkout holds
                    known = run(["git", "-C", SOURCE, "cat-file", "-e", m.group(2)])
                    self.assertEqual(known.returncode, 0, long.stdout)
                self.assertEqual(help.returncode, 0)
                self.assertRegex(help.stdout,
                                 rf"^{re.escape(name)} {re.escape(VERSION)} - \w.*\nUsage: ")
                with open("/dev/full", "w") as full:
                    lost = run([binary, "--version"], stdout=full, stderr=subprocess.PIPE,
                               capture_output=False)
                self.assertEqual(lost.returncode, 1, lost.stderr)

    def test_script_outside_a_checkout(self):
        with tempfile.TemporaryDirectory() as d:
            out = os.path.join(d, "version.cpp")
            argv = ["cmake", f"-DSRC={d}", f"-DOUT={out}", "-DVERSION=9.8.7", "-P", SCRIPT]
            self.assertEqual(run(argv).returncode, 0)
            with open(out) as f:
                text = f.read()
            self.assertIn('companions_version = "9.8.7";', text)
            self.assertIn('companions_commit = "unknown";', text)
            os.utime(out, (1, 1))
            self.assertEqual(run(argv).returncode, 0)
            self.assertEqual(os.stat(out).st_mtime, 1, "rewritten though unchanged")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
