#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Every companion says the build's version: --version (and -V) print
"NAME VERSION" then the commit built, --help's first line starts with
"NAME VERSION - ", all with status 0; a version that cannot be written is a
failure. The generating script says "unknown" outside a git checkout and
leaves an unchanged file alone.

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
    return subprocess.run(argv, stdin=subprocess.DEVNULL, capture_output=True, text=True,
                          timeout=30, **kw)


class Programs(unittest.TestCase):
    def test_version_and_help_name_the_build(self):
        for name, binary in PROGRAMS.items():
            with self.subTest(name):
                long, short = run([binary, "--version", "--bogus"]), run([binary, "-V"])
                self.assertEqual((long.returncode, long.stderr), (0, ""), long)
                self.assertEqual(short.stdout, long.stdout)
                m = re.fullmatch(rf"{re.escape(name)} {re.escape(VERSION)}\n"
                                 r"commit (unknown|([0-9a-f]{7,})(-dirty)?)\n", long.stdout)
                self.assertTrue(m, long.stdout)
                if m.group(2):  # a commit this checkout holds
                    known = run(["git", "-C", SOURCE, "cat-file", "-e", m.group(2) + "^{commit}"])
                    self.assertEqual(known.returncode, 0, long.stdout)
                help = run([binary, "--help"])
                self.assertEqual(help.returncode, 0, help)
                first, second = help.stdout.splitlines()[:2]
                self.assertRegex(first, rf"^{re.escape(name)} {re.escape(VERSION)} - \w")
                self.assertTrue(second.startswith("Usage: "), help.stdout)

    def test_a_version_not_written_is_a_failure(self):
        for name, binary in PROGRAMS.items():
            with self.subTest(name), open("/dev/full", "w") as full:
                p = subprocess.run([binary, "--version"], stdout=full, stderr=subprocess.PIPE,
                                   text=True, timeout=30)
                self.assertEqual(p.returncode, 1, p.stderr)
                self.assertIn("cannot write", p.stderr)


class Script(unittest.TestCase):
    def test_outside_a_checkout_and_unchanged(self):
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
