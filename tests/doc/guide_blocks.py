#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The runnable shell blocks of a guide, as one script.

A block is runnable when the line directly above its fence is
`<!-- runnable -->` and the fence opens with ```sh. Every other block is an
illustration and is left alone. A marker that is not directly above a sh
fence, or a fence left open, is an error: either would drop steps from the
test without anyone noticing.

  guide_blocks.py GUIDE          prints the script (bash, errexit, one
                                 banner per block naming its line)
  guide_blocks.py --count GUIDE  prints the number of runnable blocks
Exit status 0, or 1 with the reason on standard error.
"""
import re
import sys

MARKER = "<!-- runnable -->"
FENCE = re.compile(r"^(`{3,})(.*)$")


class GuideError(Exception):
    pass


def blocks(text):
    """Returns (first body line number, body) for each runnable block."""
    lines = text.splitlines()
    found = []
    i = 0
    while i < len(lines):
        line = lines[i]
        opening = FENCE.match(line)
        if line.strip() == MARKER:
            nxt = FENCE.match(lines[i + 1]) if i + 1 < len(lines) else None
            if not nxt or nxt.group(2).strip() != "sh":
                raise GuideError(f"line {i + 1}: the runnable marker is not directly above a ```sh fence")
            i += 1
            opening = nxt
            runnable = True
        else:
            runnable = False
        if opening:
            end = close_of(lines, i, opening.group(1))
            if runnable:
                found.append((i + 2, "\n".join(lines[i + 1:end])))
            i = end + 1
            continue
        i += 1
    return found


def close_of(lines, start, ticks):
    """Index of the line that closes the fence opened at start."""
    for j in range(start + 1, len(lines)):
        m = FENCE.match(lines[j])
        if m and len(m.group(1)) >= len(ticks) and not m.group(2).strip():
            return j
    raise GuideError(f"line {start + 1}: the fence is never closed")


def script(name, found):
    out = ["# Generated from %s: its runnable blocks, in order." % name,
           "set -e"]
    for n, (line, body) in enumerate(found, 1):
        where = f"{name}:{line}"
        out.append(f"wd_guide_block='block {n} ({where})'")
        out.append(f"echo \"=== {n}/{len(found)} at $SECONDS s: {where}\"")
        out.append(body)
    out.append("wd_guide_block=")
    return "\n".join(out) + "\n"


def main(argv):
    count = argv[1:2] == ["--count"]
    args = argv[2:] if count else argv[1:]
    if len(args) != 1:
        print("usage: guide_blocks.py [--count] GUIDE", file=sys.stderr)
        return 1
    try:
        with open(args[0], encoding="utf-8") as f:
            found = blocks(f.read())
    except (OSError, GuideError) as e:
        print(f"guide_blocks: {args[0]}: {e}", file=sys.stderr)
        return 1
    if count:
        print(len(found))
    else:
        sys.stdout.write(script(args[0].rsplit("/", 1)[-1], found))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
