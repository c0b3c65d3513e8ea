#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks what each Debian package holds and declares.

Usage: deb_contents_test.py DEB_DIR ARCH VERSION

lintian judges the packages by Debian's rules; this judges them by ours:
every file in the package it belongs to, binaries for ARCH and stripped,
every file below /etc a conffile, a page per program, units that start
programs the package ships, a postinst that enables nothing, and programs
that print the package's upstream version.
"""
import atexit
import glob
import gzip
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

DEB_DIR, ARCH, VERSION = sys.argv[1:4]
FULL_VERSION = VERSION + "-1"
MACHINE = {"amd64": "Advanced Micro Devices X86-64", "arm64": "AArch64"}[ARCH]
SBIN = {"rfwatchd", "diagtail", "ifward-event"}
BIN = {"rfwatch-web", "rfwatch-view", "rfwatch-mqtt", "rfwatch-record", "airtally-exporter",
       "airtally-show", "ifward-listen", "rfwatch-replay"}
UNITS = {"rfwatchd@.service", "rfwatch-web.service", "rfwatch-mqtt@.service",
         "airtally-exporter.service"}
MULTIARCH = subprocess.run(["dpkg-architecture", "-a", ARCH, "-qDEB_HOST_MULTIARCH"],
                           capture_output=True, text=True, check=True).stdout.strip()
LIB = f"usr/lib/{MULTIARCH}"


def deb(package):
    return os.path.join(DEB_DIR, f"{package}_{FULL_VERSION}_{ARCH}.deb")


def field(package, name):
    return subprocess.run(["dpkg-deb", "-f", deb(package), name], capture_output=True,
                          text=True, check=True).stdout.strip()


def control_file(package, name):
    p = subprocess.run(["dpkg-deb", "--ctrl-tarfile", deb(package)], capture_output=True,
                       check=True)
    out = subprocess.run(["tar", "-xO", f"./{name}"], input=p.stdout, capture_output=True)
    return out.stdout.decode() if out.returncode == 0 else None


class Unpacked:
    """Each package unpacked once, into a folder of its own."""
    roots = {}

    @classmethod
    def root(cls, package):
        if package not in cls.roots:
            d = tempfile.mkdtemp(prefix=f"{package}-")
            atexit.register(shutil.rmtree, d, True)
            subprocess.run(["dpkg-deb", "-x", deb(package), d], check=True)
            cls.roots[package] = d
        return cls.roots[package]

    @classmethod
    def files(cls, package):
        root = cls.root(package)
        found = set()
        for dirpath, _, names in os.walk(root):
            for n in names:
                found.add(os.path.relpath(os.path.join(dirpath, n), root))
        return found


def doc_files(package):
    return {f"usr/share/doc/{package}/copyright", f"usr/share/doc/{package}/changelog.Debian.gz"}


class Packages(unittest.TestCase):
    def test_exactly_the_three_packages_for_this_architecture(self):
        names = sorted(os.path.basename(p) for p in glob.glob(os.path.join(DEB_DIR, "*.deb")))
        self.assertEqual(names, sorted(os.path.basename(deb(p))
                                       for p in ("wifidiag", "libairtally0", "libairtally-dev")))
        for p in ("wifidiag", "libairtally0", "libairtally-dev"):
            self.assertEqual(field(p, "Architecture"), ARCH, p)
            self.assertEqual(field(p, "Version"), FULL_VERSION, p)

    def test_each_file_in_its_package(self):
        self.assertEqual(Unpacked.files("libairtally0"),
                         {f"{LIB}/libairtally.so.0", f"{LIB}/libairtally.so.{VERSION}"}
                         | doc_files("libairtally0"))
        self.assertEqual(Unpacked.files("libairtally-dev"),
                         {"usr/include/airtally.h", f"{LIB}/libairtally.so",
                          f"{LIB}/pkgconfig/airtally.pc", "usr/share/man/man3/libairtally.3.gz"}
                         | doc_files("libairtally-dev"))
        expected = ({f"usr/sbin/{p}" for p in SBIN} | {f"usr/bin/{p}" for p in BIN}
                    | {f"usr/share/man/man8/{p}.8.gz" for p in SBIN}
                    | {f"usr/share/man/man1/{p}.1.gz" for p in BIN}
                    | {f"lib/systemd/system/{u}" for u in UNITS}
                    | {f"etc/default/{d}" for d in
                       ("rfwatchd", "rfwatch-web", "rfwatch-mqtt", "airtally-exporter")}
                    | {"usr/lib/sysusers.d/wifidiag.conf"}
                    | {f"usr/share/wifidiag/prometheus/wifidiag-{r}.rules.yml"
                       for r in ("air", "exporter")}
                    | {"usr/share/wifidiag/grafana/wifidiag.json"}
                    | doc_files("wifidiag"))
        self.assertEqual(Unpacked.files("wifidiag"), expected)

    def test_binaries_are_for_the_architecture_and_stripped(self):
        binaries = [os.path.join(Unpacked.root("wifidiag"), f"usr/{d}/{p}")
                    for d, names in (("sbin", SBIN), ("bin", BIN)) for p in names]
        binaries.append(os.path.join(Unpacked.root("libairtally0"),
                                     f"{LIB}/libairtally.so.{VERSION}"))
        for b in binaries:
            header = subprocess.run(["readelf", "-h", b], capture_output=True, text=True,
                                    check=True).stdout
            self.assertRegex(header, rf"Machine:\s+{re.escape(MACHINE)}", b)
            sections = subprocess.run(["readelf", "-S", "-W", b], capture_output=True,
                                      text=True, check=True).stdout
            self.assertNotIn(".symtab", sections, f"{b} is not stripped")
            self.assertNotIn(".debug_info", sections, f"{b} is not stripped")

    def test_every_file_below_etc_is_a_conffile(self):
        etc = sorted("/" + f for f in Unpacked.files("wifidiag") if f.startswith("etc/"))
        self.assertTrue(etc)
        self.assertEqual(sorted(control_file("wifidiag", "conffiles").split()), etc)

    def test_manual_pages_are_compressed_reproducibly(self):
        for package in ("wifidiag", "libairtally-dev"):
            root = Unpacked.root(package)
            for f in Unpacked.files(package):
                if not f.endswith(".gz"):
                    continue
                with open(os.path.join(root, f), "rb") as raw:
                    header = raw.read(10)
                # No file name stored (flag bit 3) and no time stamp.
                self.assertEqual(header[3] & 0x08, 0, f)
                self.assertEqual(header[4:8], b"\0\0\0\0", f)
                with gzip.open(os.path.join(root, f), "rt", errors="replace") as page:
                    text = page.read()
                if "/man/" in f:
                    name = os.path.basename(f)[:-len(".x.gz")]
                    self.assertRegex(text, rf'(?m)^\.TH "{re.escape(name)}"', f)

    def test_dependencies(self):
        depends = [d.strip() for d in field("wifidiag", "Depends").split(",")]
        # Computed from the binaries: the library by its shlibs file, the
        # companions' libraries from the system's.
        for expected in (f"libairtally0 (>= {VERSION})", "adduser"):
            self.assertIn(expected, depends)
        for library in ("libwebsockets17", "libmosquitto1", "libcjson1", "libnl-genl-3-200",
                        "libc6"):
            self.assertTrue(any(d.startswith(library + " ") or d == library for d in depends),
                            f"wifidiag does not depend on {library}: {depends}")
        self.assertEqual(field("libairtally-dev", "Depends"), f"libairtally0 (= {FULL_VERSION})")
        self.assertEqual(control_file("libairtally0", "shlibs"),
                         f"libairtally 0 libairtally0 (>= {VERSION})\n")
        self.assertIn("activate-noawait ldconfig", control_file("libairtally0", "triggers"))

    def test_units_start_what_the_package_ships(self):
        root = Unpacked.root("wifidiag")
        shipped = {"/" + f for f in Unpacked.files("wifidiag")}
        for unit in UNITS:
            with open(os.path.join(root, "lib/systemd/system", unit)) as f:
                text = f.read()
            starts = re.findall(r"(?m)^ExecStart=(\S+)", text)
            self.assertTrue(starts, unit)
            for program in starts:
                self.assertIn(program, shipped, unit)
            for env in re.findall(r"(?m)^EnvironmentFile=-?(\S+)", text):
                if "%" not in env:
                    self.assertIn(env, shipped, unit)

    def test_postinst_makes_the_group_and_enables_nothing(self):
        script = control_file("wifidiag", "postinst")
        self.assertIn("addgroup --system", script)
        # airtally-exporter's unit runs it as an account of its own.
        self.assertRegex(script, r"adduser --system .*\\?\n?.*airtally-exporter")
        for enabling in ("systemctl", "deb-systemd-helper", "deb-systemd-invoke", "update-rc.d"):
            self.assertNotIn(enabling, script)
        self.assertFalse([f for f in Unpacked.files("wifidiag") if ".wants/" in f])
        self.assertIsNone(control_file("wifidiag", "prerm"))

    def test_programs_print_the_upstream_version(self):
        host = subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True,
                              check=True).stdout.strip()
        if host != ARCH:
            self.skipTest(f"SKIPPED: {ARCH} programs do not run on this {host} machine")
        root = Unpacked.root("wifidiag")
        # The packaged library, not one installed on this machine.
        env = dict(os.environ, LD_LIBRARY_PATH=os.path.join(Unpacked.root("libairtally0"), LIB))
        runs = [([f"{root}/usr/bin/{p}", "--version"], f"{p} {VERSION}") for p in sorted(BIN)]
        rfwatchd = f"{root}/usr/sbin/rfwatchd"
        runs.append(([rfwatchd, "-v"], f"{rfwatchd} version {VERSION}"))
        for argv, first_line in runs:
            p = subprocess.run(argv, capture_output=True, text=True, env=env, timeout=30)
            self.assertEqual((p.returncode, p.stdout.split("\n")[0]), (0, first_line), p)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
