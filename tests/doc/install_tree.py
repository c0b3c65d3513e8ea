#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""`cmake --install` lays down every program, the library with its header and
pkg-config file, and every manual page, and nothing else; the tree works
where it lands, with --prefix and with DESTDIR.

For each installed tree: the expected files are there (programs executable),
no other file is (test programs, benchmarks, the test bed and fuzz
harnesses stay in the build tree), no installed ELF file points into the
build tree, and a C program built with the installed .pc's flags links the
installed library and runs.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

SBIN = ["rfwatchd", "diagtail", "ifward-event"]
BIN = ["rfwatch-web", "rfwatch-view", "rfwatch-mqtt", "rfwatch-record", "airtally-exporter",
       "airtally-show", "ifward-listen", "rfwatch-replay"]
# The service units, the group and the units' option files.
UNITS = ["rfwatchd@.service", "rfwatch-web.service", "rfwatch-mqtt@.service",
         "airtally-exporter.service"]
OPTION_FILES = ["rfwatchd", "rfwatch-web", "rfwatch-mqtt", "airtally-exporter"]
MAN = ["man8/rfwatchd.8", "man8/diagtail.8", "man8/ifward-event.8", "man1/rfwatch-web.1",
       "man1/rfwatch-view.1", "man1/rfwatch-mqtt.1", "man1/rfwatch-record.1",
       "man1/airtally-exporter.1", "man1/airtally-show.1", "man1/ifward-listen.1",
       "man1/rfwatch-replay.1",
       "man3/libairtally.3"]

PROBE_FLAGS = []  # extra compiler flags for the probe (set from the command line)

PROBE_C = r"""
#include <airtally.h>
#include <stddef.h>
int main(void)
{
    /* Linked, not called: the test machine has no nl80211. */
    void (*f)(struct radiostats *) = radiostats_free;
    radiostats_free(NULL);
    return f == NULL;
}
"""


def cache_value(build, key):
    with open(os.path.join(build, "CMakeCache.txt")) as f:
        for line in f:
            if line.startswith(key + ":"):
                return line.split("=", 1)[1].strip()
    return None


def install(build, prefix, destdir=None):
    env = dict(os.environ)
    env.pop("DESTDIR", None)
    if destdir:
        env["DESTDIR"] = destdir
    p = subprocess.run(["cmake", "--install", build, "--prefix", prefix], env=env,
                       capture_output=True, text=True, timeout=120)
    if p.returncode != 0:
        raise SystemExit(f"cmake --install failed:\n{p.stdout}{p.stderr}")


def expected_files(libdir):
    files = {f"sbin/{p}" for p in SBIN} | {f"bin/{p}" for p in BIN}
    files |= {f"share/man/{m}" for m in MAN}
    files |= {f"lib/systemd/system/{u}" for u in UNITS} | {"lib/sysusers.d/wifidiag.conf"}
    files |= {f"etc/default/{o}" for o in OPTION_FILES}
    files |= {"include/airtally.h", f"{libdir}/pkgconfig/airtally.pc", f"{libdir}/libairtally.so",
              f"{libdir}/libairtally.so.0"}
    return files


def tree_files(root):
    found = set()
    for d, _, names in os.walk(root):
        for n in names:
            found.add(os.path.relpath(os.path.join(d, n), root))
    return found


def check_tree(root, libdir, build, cc, label):
    errors = []
    found = tree_files(root)
    expected = expected_files(libdir)
    # The versioned library file is the one real file; its name carries the
    # project's version, so match it by prefix.
    real_lib = [f for f in found if f.startswith(f"{libdir}/libairtally.so.0.")]
    if len(real_lib) != 1:
        errors.append(f"{label}: expected one {libdir}/libairtally.so.0.x.y, found {real_lib}")
    expected |= set(real_lib)
    for f in sorted(expected - found):
        errors.append(f"{label}: missing {f}")
    for f in sorted(found - expected):
        errors.append(f"{label}: installed but not expected: {f}")
    for p in [f"sbin/{p}" for p in SBIN] + [f"bin/{p}" for p in BIN]:
        path = os.path.join(root, p)
        if os.path.isfile(path) and not os.access(path, os.X_OK):
            errors.append(f"{label}: {p} is not executable")
    errors += check_elf_paths(root, build, label)
    errors += check_pkgconfig(root, libdir, cc, label)
    return errors


def check_elf_paths(root, build, label):
    """A RUNPATH into the build tree would load the wrong library, or none,
    once the build tree is gone."""
    readelf = shutil.which("readelf")
    if readelf is None:
        print("SKIPPED: readelf is not installed; RUNPATHs not checked")
        return []
    errors = []
    for d in ("bin", "sbin"):
        for n in sorted(os.listdir(os.path.join(root, d))):
            out = subprocess.run([readelf, "-d", os.path.join(root, d, n)], capture_output=True,
                                 text=True).stdout
            for line in out.splitlines():
                if ("RUNPATH" in line or "RPATH" in line) and os.path.realpath(build) in line:
                    errors.append(f"{label}: {d}/{n} keeps a build-tree path: {line.strip()}")
    return errors


def check_pkgconfig(root, libdir, cc, label):
    errors = []
    env = dict(os.environ, PKG_CONFIG_PATH=os.path.join(root, libdir, "pkgconfig"))
    env.pop("PKG_CONFIG_LIBDIR", None)

    def pc(*args):
        p = subprocess.run(["pkg-config", *args, "airtally"], env=env, capture_output=True,
                           text=True)
        return p.returncode, p.stdout.strip()

    rc, prefix = pc("--variable=prefix")
    if rc != 0 or os.path.realpath(prefix) != os.path.realpath(root):
        errors.append(f"{label}: airtally.pc's prefix is {prefix!r}, not {root}")
        return errors
    _, cflags = pc("--cflags")
    _, libs = pc("--libs")
    with tempfile.TemporaryDirectory() as work:
        src = os.path.join(work, "probe.c")
        exe = os.path.join(work, "probe")
        with open(src, "w") as f:
            f.write(PROBE_C)
        p = subprocess.run([cc, "-std=c11", "-Wall", "-Werror", *PROBE_FLAGS, src, "-o", exe,
                            *cflags.split(),
                            *libs.split()], capture_output=True, text=True, timeout=120)
        if p.returncode != 0:
            errors.append(f"{label}: a C program built with the .pc's flags "
                          f"({cflags} {libs}) failed:\n{p.stderr}")
            return errors
        run_env = dict(os.environ, LD_LIBRARY_PATH=os.path.join(root, libdir))
        p = subprocess.run([exe], env=run_env, capture_output=True, text=True, timeout=30)
        if p.returncode != 0:
            errors.append(f"{label}: the probe linked to the installed library exited "
                          f"{p.returncode}: {p.stderr}")
    return errors


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--compiler", required=True)
    # A sanitized build's library needs its runtime in the probe too.
    ap.add_argument("--probe-flags", default="")
    a = ap.parse_args()
    global PROBE_FLAGS
    PROBE_FLAGS = a.probe_flags.split()
    libdir = cache_value(a.build, "CMAKE_INSTALL_LIBDIR") or "lib"
    if os.path.isabs(libdir):
        print(f"SKIPPED: CMAKE_INSTALL_LIBDIR is absolute ({libdir}); the tree is not relocatable")
        return 0
    errors = []
    with tempfile.TemporaryDirectory() as tmp:
        prefix = os.path.join(tmp, "prefix")
        install(a.build, prefix)
        errors += check_tree(prefix, libdir, a.build, a.compiler, "--prefix")

        # A packager's DESTDIR: the files land under it, the .pc still
        # describes the tree it is in (relative to its own place), so it
        # works both in the staging tree and once unpacked at /usr.
        stage = os.path.join(tmp, "stage")
        install(a.build, "/usr", destdir=stage)
        root = os.path.join(stage, "usr")
        if tree_files(stage) != {os.path.join("usr", f) for f in tree_files(root)}:
            errors.append("DESTDIR: files outside DESTDIR/usr")
        errors += check_tree(root, libdir, a.build, a.compiler, "DESTDIR")

        # The installed tree moved as a whole still works.
        moved = os.path.join(tmp, "moved")
        shutil.move(prefix, moved)
        errors += check_pkgconfig(moved, libdir, a.compiler, "moved")
    for e in errors:
        print("FAIL:", e)
    print(f"{len(errors)} problem(s)" if errors else "all checks passed")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
