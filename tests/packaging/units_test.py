#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks the service units as systemd and the programs themselves see them.

Usage: units_test.py UNITS_DIR STAGE_DIR DEFAULTS_DIR SYSUSERS_FILE NAME=PROGRAM...

UNITS_DIR holds the units written with STAGE_DIR/{sbin,bin,etc} as their
directories; the built programs are linked there so that systemd-analyze finds
every ExecStart binary and the command lines run the real option parsers.
"""
import json
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import unittest

UNITS_DIR, STAGE, DEFAULTS, SYSUSERS = sys.argv[1:5]
PROGRAMS = dict(arg.split("=", 1) for arg in sys.argv[5:])
SBIN = {"rfwatchd"}

# Instance names used for the templates.
INSTANCES = {
    "rfwatchd@.service": "rfwatchd@mon0.service",
    "rfwatch-web.service": "rfwatch-web.service",
    "rfwatch-mqtt@.service": "rfwatch-mqtt@mon0.service",
    "airtally-exporter.service": "airtally-exporter.service",
}

# What systemd-analyze security may still find exposed in each unit, and why;
# anything else exposed is a lost hardening line.
COMMON_EXPOSED = {
    "RootDirectory=/RootImage=",  # the programs live in the host's tree
    "PrivateNetwork=",  # netlink and the companions' sockets are the host's
    "PrivateUsers=",  # group access to rfwatchd's socket needs real ids
    "DeviceAllow=",  # PrivateDevices' own minimal set
    "RestrictAddressFamilies=~AF_UNIX",
}
EXPOSED = {
    "rfwatchd@mon0.service": COMMON_EXPOSED | {
        "User=/DynamicUser=",  # debugfs is root's
        "ProtectKernelTunables=",  # the scan is driven by writes to debugfs
        "RestrictAddressFamilies=~AF_NETLINK",
        "CapabilityBoundingSet=~CAP_NET_ADMIN",  # SET_WIPHY, links up/down
        "UMask=",  # the socket is group-writable on purpose
    },
    "rfwatch-web.service": COMMON_EXPOSED | {
        "RestrictAddressFamilies=~AF_(INET|INET6)",
        "RestrictAddressFamilies=~AF_NETLINK",
        "IPAddressDeny=",
        "SupplementaryGroups=",  # the group that may open rfwatchd's socket
    },
    "rfwatch-mqtt@mon0.service": COMMON_EXPOSED | {
        "RestrictAddressFamilies=~AF_(INET|INET6)",
        "IPAddressDeny=",
        "SupplementaryGroups=",
    },
    "airtally-exporter.service": COMMON_EXPOSED | {
        "PrivateTmp=",  # hostapd answers to a path in the shared /tmp
        "RestrictAddressFamilies=~AF_(INET|INET6)",
        "RestrictAddressFamilies=~AF_NETLINK",
        "IPAddressDeny=",
    },
}


def analyze(*args):
    return subprocess.run(["systemd-analyze", *args], cwd=UNITS_DIR, capture_output=True,
                          text=True, timeout=120)


def unit_lines(template, key):
    with open(os.path.join(UNITS_DIR, template)) as f:
        return [line.split("=", 1)[1].strip() for line in f if line.startswith(key + "=")]


def read_env_file(path, uncomment_examples):
    """KEY="value" lines as systemd reads them; with uncomment_examples the
    commented-out examples too, one environment per line."""
    envs = []
    with open(path) as f:
        for line in f:
            line = line.strip()
            if uncomment_examples and line.startswith("#") and "=\"" in line:
                line = line[1:]
            if not line or line.startswith("#"):
                continue
            key, value = line.split("=", 1)
            envs.append({key: shlex.split(value)[0] if value.strip('"') else ""})
    return envs


def expand(command, env, instance):
    """The specifiers and $VAR words of an ExecStart line, as systemd
    expands them ($VAR alone splits into words)."""
    words = []
    for word in shlex.split(command.replace("%i", instance).replace("%S", "/var/lib")):
        if word.startswith("$"):
            words.extend(env.get(word[1:], "").split())
        else:
            words.append(word)
    return words


class Units(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        for name, path in PROGRAMS.items():
            folder = os.path.join(STAGE, "sbin" if name in SBIN else "bin")
            os.makedirs(folder, exist_ok=True)
            link = os.path.join(folder, name)
            if os.path.lexists(link):
                os.unlink(link)
            os.symlink(path, link)

    def test_every_unit_passes_verify_without_a_warning(self):
        # verify exits 0 on unknown keys and bad values: any output is a fault.
        for template, unit in INSTANCES.items():
            with self.subTest(unit=unit):
                r = analyze("verify", "--man=no", "./" + unit)
                self.assertEqual(r.returncode, 0, r.stderr)
                self.assertEqual(r.stderr.strip(), "", r.stderr)

    def test_verify_catches_a_missing_program(self):
        # Guards the test itself: the staged binaries are what verify looks at.
        link = os.path.join(STAGE, "bin", "rfwatch-web")
        os.rename(link, link + ".away")
        try:
            r = analyze("verify", "--man=no", "./rfwatch-web.service")
        finally:
            os.rename(link + ".away", link)
        self.assertNotEqual(r.returncode, 0)
        self.assertIn("rfwatch-web", r.stderr)

    def test_exposure_is_only_what_each_program_needs(self):
        for unit, allowed in EXPOSED.items():
            with self.subTest(unit=unit):
                r = analyze("security", "--offline=yes", "--json=short", "./" + unit)
                self.assertEqual(r.returncode, 0, r.stderr)
                exposed = {c["name"] for c in json.loads(r.stdout)
                           if not c["set"] and c["exposure"]}
                self.assertEqual(exposed - allowed, set(), "hardening lost")
                self.assertEqual(allowed - exposed, set(), "stale allowance")
                r = analyze("security", "--offline=yes", "--threshold=25", "./" + unit)
                self.assertEqual(r.returncode, 0, r.stdout[-400:])

    def test_least_privilege_and_a_descriptor_limit(self):
        # Who each runs as, its capabilities, and a fixed descriptor limit
        # (the programs cap their connections below it).
        want = {
            "rfwatchd@.service": ([], [], ["CAP_NET_ADMIN"]),  # debugfs is root's
            "rfwatch-web.service": ([], ["yes"], [""]),
            "rfwatch-mqtt@.service": ([], ["yes"], [""]),
            "airtally-exporter.service": (["airtally-exporter"], [], [""]),
        }
        for template, (user, dynamic, caps) in want.items():
            with self.subTest(unit=template):
                self.assertEqual(unit_lines(template, "User"), user)
                self.assertEqual(unit_lines(template, "DynamicUser"), dynamic)
                self.assertEqual(unit_lines(template, "CapabilityBoundingSet"), caps)
                limit = unit_lines(template, "LimitNOFILE")
                self.assertEqual(len(limit), 1, "no LimitNOFILE")
                self.assertTrue(64 <= int(limit[0]) <= 4096, limit)

    def test_the_companions_find_rfwatchds_socket(self):
        daemon = expand(unit_lines("rfwatchd@.service", "ExecStart")[0], {}, "mon0")
        socket = daemon[daemon.index("-s") + 1]
        self.assertEqual(os.path.dirname(socket),
                         "/run/" + unit_lines("rfwatchd@.service", "RuntimeDirectory")[0]
                         .replace("%i", "mon0"))
        mqtt = expand(unit_lines("rfwatch-mqtt@.service", "ExecStart")[0], {}, "mon0")
        self.assertEqual(mqtt[mqtt.index("-s") + 1], socket)
        web = read_env_file(os.path.join(DEFAULTS, "rfwatch-web"), False)[0]
        self.assertIn("-s " + socket, web["RFWATCH_WEB_OPTIONS"])
        # The group that owns the socket is the one the companions join.
        group = unit_lines("rfwatchd@.service", "Group")
        for template in ("rfwatch-web.service", "rfwatch-mqtt@.service"):
            self.assertEqual(unit_lines(template, "SupplementaryGroups"), group)

    def test_programs_accept_the_units_command_lines(self):
        # Each ExecStart, with every shipped option line and every commented
        # example in its option file, through the program's own parser
        # (--help last: it answers once everything before it was accepted).
        files = {"rfwatchd@.service": "rfwatchd", "rfwatch-web.service": "rfwatch-web",
                 "rfwatch-mqtt@.service": "rfwatch-mqtt",
                 "airtally-exporter.service": "airtally-exporter"}
        for template, defaults in files.items():
            command = unit_lines(template, "ExecStart")[0]
            for env in read_env_file(os.path.join(DEFAULTS, defaults), True):
                argv = expand(command, env, "mon0") + ["--help"]
                with self.subTest(argv=argv):
                    r = subprocess.run(argv, capture_output=True, text=True, timeout=30)
                    self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
                    self.assertIn("Usage", r.stdout)

    def test_an_option_the_program_refuses_is_caught(self):
        command = unit_lines("rfwatchd@.service", "ExecStart")[0]
        argv = expand(command, {"RFWATCHD_OPTIONS": "-b 63"}, "mon0") + ["--help"]
        r = subprocess.run(argv, capture_output=True, text=True, timeout=30)
        self.assertNotEqual(r.returncode, 0)

    def test_sysusers_creates_the_group(self):
        if shutil.which("systemd-sysusers") is None:
            self.skipTest("SKIPPED: systemd-sysusers is not installed")
        group = unit_lines("rfwatchd@.service", "Group")[0]
        with tempfile.TemporaryDirectory() as root:
            os.mkdir(os.path.join(root, "etc"))
            r = subprocess.run(["systemd-sysusers", "--root=" + root, SYSUSERS],
                               capture_output=True, text=True, timeout=30)
            self.assertEqual(r.returncode, 0, r.stderr)
            with open(os.path.join(root, "etc", "group")) as f:
                self.assertRegex(f.read(), "(?m)^" + group + ":x:[0-9]+:$")
            # Every User= of the units is an account it creates.
            with open(os.path.join(root, "etc", "passwd")) as f:
                passwd = f.read()
            for template in INSTANCES:
                for user in unit_lines(template, "User"):
                    self.assertRegex(passwd, "(?m)^" + user + ":x:[0-9]+:[0-9]+:.*:/usr/sbin/nologin$")


if __name__ == "__main__":
    if shutil.which("systemd-analyze") is None:
        print("SKIPPED: systemd-analyze is not installed (tools/setup installs it)")
        sys.exit(77)
    unittest.main(argv=sys.argv[:1], verbosity=2)
