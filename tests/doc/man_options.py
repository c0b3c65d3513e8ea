#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Every option of each program's usage text is in its manual page's OPTIONS
section, and every option there is in the usage text; every built page is
free of groff warnings.

Where a usage text and the parser disagree, the page documents what the
parser accepts, and the difference is listed in USAGE_FAULTS below with a
probe that proves it still holds: when someone fixes the usage text, the
probe fails and the entry has to go.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys

# name, section, binary in the build tree (None: takes no options)
PROGRAMS = [
    ("rfwatchd", 8, "rfwatchd/core/rfwatchd"),
    ("diagtail", 8, None),
    ("ifward-event", 8, "ifward-event/ifward-event"),
    ("rfwatch-web", 1, "companions/rfwatch-web/rfwatch-web"),
    ("rfwatch-view", 1, "companions/rfwatch-view/rfwatch-view"),
    ("rfwatch-mqtt", 1, "companions/rfwatch-mqtt/rfwatch-mqtt"),
    ("rfwatch-record", 1, "companions/rfwatch-record/rfwatch-record"),
    ("rfwatch-replay", 1, "companions/rfwatch-replay/rfwatch-replay"),
    ("airtally-exporter", 1, "companions/airtally-exporter/airtally-exporter"),
    ("airtally-show", 1, "companions/airtally-show/airtally-show"),
    ("ifward-listen", 1, "companions/ifward-listen/ifward-listen"),
]
PAGES = [f"{name}.{section}" for name, section, _ in PROGRAMS] + ["libairtally.3"]

# Known faults of the usage texts: (in the usage only, in the page only,
# probe arguments, text the probe's output must hold).
USAGE_FAULTS = {
    "rfwatchd": [
        # The usage leaves out the older long names, which the parser still
        # takes; refused values prove it (nothing is started).
        (set(), {"--num-bins"}, ["--num-bins", "3", "-m", "x"], "Invalid number of bins."),
        (set(), {"--agile-scan"}, ["--agile-scan", "", "-m", "x"], "Invalid agile-scan argument."),
    ],
}

# An option at the start of a usage line: "-s, --socket", "-s  --socket",
# "--mqtt URL", "-x".
USAGE_LINE = re.compile(r"^\s+(-[A-Za-z0-9])?(?:,?\s+)?(--[a-z][a-z0-9-]*)?")
OPTION = re.compile(r"(?<![\w-])(--[a-z][a-z0-9-]*|-[A-Za-z0-9])(?![\w-])")


def usage_options(text):
    found = set()
    for line in text.splitlines():
        if not line.lstrip().startswith("-"):
            continue
        m = USAGE_LINE.match(line)
        found.update(g for g in m.groups() if g)
    return found


def page_options(scd_text):
    """Options named on the term lines of the OPTIONS section (a term line
    is one that is not indented: its description is)."""
    m = re.search(r"^# OPTIONS\n(.*?)(?=^# |\Z)", scd_text, re.M | re.S)
    if not m:
        return None
    found = set()
    for line in m.group(1).splitlines():
        if line.startswith("\t") or not line.startswith("*-"):
            continue
        found.update(OPTION.findall(line.replace("*", " ").replace("_", " ")))
    return found


def run(binary, args):
    p = subprocess.run([binary] + args, stdin=subprocess.DEVNULL, capture_output=True,
                       text=True, timeout=30)
    return p.returncode, p.stdout + p.stderr


def check_program(build, source, name, section, rel):
    errors = []
    with open(os.path.join(source, "doc/man", f"{name}.{section}.scd")) as f:
        page = page_options(f.read())
    if page is None:
        return [f"{name}: the page has no OPTIONS section"]
    if rel is None:
        # No options: the program's main takes no arguments at all.
        with open(os.path.join(source, name, "main.cpp")) as f:
            if "int main()" not in f.read():
                errors.append(f"{name}: main() now takes arguments; list its options")
        if page:
            errors.append(f"{name}: takes no options, but the page lists {sorted(page)}")
        return errors
    binary = os.path.join(build, rel)
    status, text = run(binary, ["--help"])
    if status != 0:
        errors.append(f"{name}: --help exited with {status}")
    usage = usage_options(text)
    if not usage:
        return errors + [f"{name}: no option found in the usage text:\n{text}"]
    only_usage, only_page = usage - page, page - usage
    for in_usage, in_page, probe, expect in USAGE_FAULTS.get(name, []):
        _, out = run(binary, probe)
        # An option the page adds must not be one getopt calls unknown.
        refused = in_page and ("unrecognized option" in out or "invalid option" in out)
        if expect not in out or refused:
            errors.append(f"{name}: known usage fault {sorted(in_usage | in_page)} no longer "
                          f"holds ({probe} printed {out!r}); update the page and this test")
        only_usage -= in_usage
        only_page -= in_page
    if only_usage:
        errors.append(f"{name}: in --help but not in the page: {sorted(only_usage)}")
    if only_page:
        errors.append(f"{name}: in the page but not in --help: {sorted(only_page)}")
    return errors


def check_library(source):
    """libairtally(3) names every exported function and every record of the
    header, so a new export cannot go undocumented."""
    with open(os.path.join(source, "libairtally/exports.map")) as f:
        exports = re.findall(r"^\s+(\w+);", f.read().split("local:")[0], re.M)
    with open(os.path.join(source, "libairtally/include/airtally.h")) as f:
        records = re.findall(r"^struct (\w+) \{", f.read(), re.M)
    with open(os.path.join(source, "doc/man/libairtally.3.scd")) as f:
        page = f.read()
    if len(exports) < 7 or len(records) < 2:
        return [f"libairtally: read {exports} and {records} from the sources; check the parser"]
    missing = [n for n in exports if f"*{n}*()" not in page]
    missing += [r for r in records if f"struct {r} {{" not in page]
    return [f"libairtally(3) does not describe {missing}"] if missing else []


def check_roff(build):
    """groff's warnings on each built page (all warnings, as errors)."""
    groff = shutil.which("groff")
    if groff is None:
        print("SKIPPED: groff is not installed; built pages not checked for warnings")
        return []
    errors = []
    for page in PAGES:
        path = os.path.join(build, "doc/man", page)
        if not os.path.isfile(path):
            errors.append(f"{page}: not built at {path}")
            continue
        p = subprocess.run([groff, "-ww", "-man", "-Tutf8", "-z", path], capture_output=True,
                           text=True, timeout=60)
        if p.returncode != 0 or p.stderr.strip():
            errors.append(f"{page}: groff: {p.stderr.strip()}")
    return errors


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--source", required=True)
    a = ap.parse_args()
    errors = []
    for name, section, rel in PROGRAMS:
        errors += check_program(a.build, a.source, name, section, rel)
    errors += check_library(a.source)
    errors += check_roff(a.build)
    for e in errors:
        print("FAIL:", e)
    print(f"{len(errors)} problem(s)" if errors else "all checks passed")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
