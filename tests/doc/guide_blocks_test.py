#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# The extractor of the guides' runnable blocks against small Markdown
# snippets, then every doc/guide-*.md: each must give at least one block, so
# that losing the markers cannot leave a guide's system test running nothing.
import glob
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import guide_blocks  # noqa: E402

M = "<!-- runnable -->"
# (name, markdown, expected [(line, body)] or the start of the error)
CASES = [
    ("marked sh block", f"text\n{M}\n```sh\necho a\necho b\n```\n", [(4, "echo a\necho b")]),
    ("unmarked blocks are illustrations", "```sh\nrm -rf /\n```\n```\nx\n```\n", []),
    ("marked blocks in order, others skipped",
     f"{M}\n```sh\none\n```\n```sh\nno\n```\n{M}\n```sh\ntwo\n```\n", [(3, "one"), (10, "two")]),
    ("longer fence holds a shorter one", f"{M}\n````sh\n```\n````\n", [(3, "```")]),
    ("a marker inside an illustration is text", f"```\n{M}\n```\n", []),
    ("marker not directly above", f"{M}\n\n```sh\nx\n```\n", "line 1: the runnable marker"),
    ("marker above another language", f"{M}\n```bash\nx\n```\n", "line 1: the runnable marker"),
    ("marker at the end", f"x\n{M}\n", "line 2: the runnable marker"),
    ("unclosed marked fence", f"{M}\n```sh\nx\n", "line 2: the fence is never closed"),
    ("unclosed illustration", "```\nx\n", "line 1: the fence is never closed"),
]


def run_cases():
    bad = 0
    for name, text, want in CASES:
        try:
            got = guide_blocks.blocks(text)
        except guide_blocks.GuideError as e:
            got = str(e)
        ok = got.startswith(want) if isinstance(want, str) and isinstance(got, str) else got == want
        if not ok:
            print(f"FAIL {name}: got {got!r}, want {want!r}")
            bad += 1
    return bad


def run_guides(doc):
    guides = sorted(glob.glob(os.path.join(doc, "guide-*.md")))
    if not guides:
        print(f"FAIL: no guide in {doc}")
        return 1
    bad = 0
    for g in guides:
        # Through the command line, as the system tests use it.
        r = subprocess.run([sys.executable, "-B", guide_blocks.__file__, "--count", g],
                           capture_output=True, text=True, check=False)
        n = int(r.stdout) if r.returncode == 0 else 0
        print(f"{os.path.basename(g)}: {n} runnable blocks {r.stderr.strip()}")
        if n < 1:
            print(f"FAIL {g}: no runnable block")
            bad += 1
    return bad


if __name__ == "__main__":
    failures = run_cases() + run_guides(sys.argv[1])
    print("failures:", failures)
    sys.exit(1 if failures else 0)
