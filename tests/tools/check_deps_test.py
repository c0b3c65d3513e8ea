#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""tools/check-deps: its parsing and verdict on a table of cases, then the
whole script on a made-up build that reads one header from a package setup
pulls in (passes) and one that no package owns (fails, naming the file)."""
import importlib.machinery
import importlib.util
import os
import subprocess
import sys
import tempfile

TOOL = sys.argv[1]
loader = importlib.machinery.SourceFileLoader("check_deps", TOOL)
spec = importlib.util.spec_from_loader("check_deps", loader)
cd = importlib.util.module_from_spec(spec)
loader.exec_module(cd)

failures = []


def expect(what, got, want):
    if got != want:
        failures.append(f"{what}: got {got!r}, want {want!r}")


DEPFILE = "a.o: /src/a.cpp /usr/include/x\\ y.h \\\n  /usr/include/z.h\n/usr/include/z.h:\n"
expect("depfile", cd.parse_depfile(DEPFILE), ["/src/a.cpp", "/usr/include/x y.h", "/usr/include/z.h"])

CLOSURE = "libwebsockets-dev\n  Depends: libssl-dev\n  Depends: <libc-dev>\n    libc6-dev\n" \
          "libssl-dev:arm64\nperl-modules-5.36\nzlib1g:amd64\n"
expect("closure", cd.parse_closure(CLOSURE, "amd64"),
       {"libwebsockets-dev", "libssl-dev", "libc6-dev", "libssl-dev:arm64", "perl-modules-5.36", "zlib1g"})

owner_of = {"/usr/include/stdio.h": {"libc6-dev"},
            "/usr/include/aarch64-linux-gnu/openssl/opensslconf.h": {"libssl-dev:arm64"},
            "/usr/include/openssl/ssl.h": {"libssl-dev", "libssl-dev:arm64"}}
allowed = {"libc6-dev", "libssl-dev"}
for path, want in [
    ("/usr/include/stdio.h", []),  # a named package's file
    ("/usr/include/openssl/ssl.h", []),  # shared by two architectures, one of them allowed
    ("/usr/include/aarch64-linux-gnu/openssl/opensslconf.h",
     [("/usr/include/aarch64-linux-gnu/openssl/opensslconf.h", ["libssl-dev:arm64"])]),
    ("/usr/local/include/mine.h", [("/usr/local/include/mine.h", [])]),  # no package at all
    ("/opt/wifidiag/lws/usr/include/lws_config.h", []),  # setup's own folder
    ("/opt/wifidiag/lws-other/x.h", [("/opt/wifidiag/lws-other/x.h", [])]),  # only that folder
]:
    expect(path, cd.unexplained({path}, owner_of, allowed, ["/opt/wifidiag/lws"]), want)

with tempfile.TemporaryDirectory() as tmp:
    # /lib and /usr/lib are one folder on Debian 12: the folder is resolved,
    # the name (a -dev symlink) is not.
    os.makedirs(f"{tmp}/real")
    os.symlink(f"{tmp}/real", f"{tmp}/alias")
    os.symlink("libx.so.1", f"{tmp}/real/libx.so")
    expect("canonical", cd.canonical(f"{tmp}/alias/libx.so", {}), f"{tmp}/real/libx.so")

    build, elsewhere = f"{tmp}/build", f"{tmp}/elsewhere"
    os.makedirs(f"{build}/CMakeFiles/t.dir")
    os.makedirs(elsewhere)
    with open(f"{elsewhere}/handmade.h", "w") as f:
        f.write("\n")
    for extra, want_rc in [("", 0), (f" {elsewhere}/handmade.h", 1)]:
        with open(f"{build}/CMakeFiles/t.dir/t.cpp.o.d", "w") as f:
            f.write(f"t.o: /usr/include/stdio.h{extra}\n")
        run = subprocess.run([TOOL, build], capture_output=True, text=True)
        expect(f"exit with '{extra}'", run.returncode, want_rc)
        if want_rc and f"no package: {elsewhere}/handmade.h" not in run.stderr:
            failures.append(f"the failure does not name the file: {run.stderr!r}")

for f in failures:
    print("FAIL:", f)
print(f"check-deps: {'FAILED' if failures else 'all cases passed'}")
sys.exit(1 if failures else 0)
