#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""links.py --source DIR | --self-test

Checks every link and picture of README.md and doc/**/*.md: a relative
target names a file or folder inside the tree, and a #anchor (alone, or after
a Markdown file) names a heading of that page by GitHub's slug rule. Absolute
links (http, https, mailto, ...) are not fetched: the pages are meant to be
read offline, so each one must be in ALLOWED_EXTERNAL. Prints one line per
broken link, FILE:LINE: TARGET (why), and exits 1 when there is one.

Code (fenced or indented blocks, `spans`) is not Markdown, so what looks like
a link there is skipped; so are the manual pages, which are roff.
"""
import argparse
import os
import re
import sys
import urllib.parse

ALLOWED_EXTERNAL = set()  # no page needs the network

HEADING = re.compile(r"^ {0,3}(#{1,6})[ \t]+(.*?)(?:[ \t]+#+)?[ \t]*$")
SETEXT = re.compile(r"^ {0,3}(=+|-+)[ \t]*$")
FENCE = re.compile(r"^ {0,3}(`{3,}|~{3,})")
CODE_SPAN = re.compile(r"(`+)(.+?)\1")
REFERENCE_DEF = re.compile(r"^ {0,3}\[([^\]]+)\]:[ \t]*(\S+)")
HTML_TARGET = re.compile(r"<(?:a|img)\b[^>]*?\b(?:href|src)=\"([^\"]*)\"", re.I)
HTML_ANCHOR = re.compile(r"<[a-z]+\b[^>]*?\b(?:id|name)=\"([^\"]*)\"", re.I)
AUTOLINK = re.compile(r"<([a-z][a-z0-9+.-]*:[^ >]*)>", re.I)
SCHEME = re.compile(r"^[a-z][a-z0-9+.-]*:", re.I)


def slug(text):
    """GitHub's anchor of a heading's text (before duplicates are numbered)."""
    text = re.sub(r"!?\[([^\]]*)\]\([^)]*\)", r"\1", text)  # a link reads as its text
    text = re.sub(r"<[^>]+>", "", text).strip().lower()
    return "".join(c for c in text if c.isalnum() or c in "-_ ").replace(" ", "-")


def markdown_lines(lines):
    """Yields (number, line, line with code spans blanked) outside code blocks."""
    fence = None
    previous_blank = True
    for number, line in enumerate(lines, 1):
        opened = FENCE.match(line)
        if fence:
            if opened and opened.group(1)[0] == fence[0] and len(opened.group(1)) >= len(fence):
                fence = None
            continue
        if opened:
            fence = opened.group(1)
            continue
        # An indented block begins after a blank line or a heading (a list
        # item's continuation is indented too, but follows its item directly).
        if previous_blank and (line.startswith("    ") or line.startswith("\t")):
            continue
        previous_blank = not line.strip() or HEADING.match(line) is not None
        yield number, line, CODE_SPAN.sub(lambda m: " " * len(m.group(0)), line)


def anchors(lines):
    """The anchors a page offers: its headings' slugs, numbered as GitHub does, and HTML ids."""
    found, seen = set(), {}
    previous = None
    for number, line, plain in markdown_lines(lines):
        heading = HEADING.match(line)
        text = heading.group(2) if heading else None
        if not heading and previous and SETEXT.match(line) and previous[0] == number - 1:
            text = previous[1]
        if text is not None:
            base = slug(text)
            count = seen.get(base, 0)
            seen[base] = count + 1
            found.add(base if count == 0 else f"{base}-{count}")
        found.update(HTML_ANCHOR.findall(plain))
        previous = (number, line.strip()) if line.strip() and not heading else None
    return found


def inline_targets(line):
    """Targets of the [text](target) and ![alt](target) forms on one line."""
    at = line.find("](")
    while at >= 0:
        start, depth, end = at + 2, 0, None
        for i in range(start, len(line)):
            if line[i] == "(":
                depth += 1
            elif line[i] == ")":
                if depth == 0:
                    end = i
                    break
                depth -= 1
        if end is None:
            break
        target = line[start:end].strip()
        if target.startswith("<"):
            target = target[1:target.find(">")] if ">" in target else target[1:]
        else:
            target = target.split()[0] if target else ""
        yield target
        at = line.find("](", end)


def targets(lines):
    """(line, target) of every link and picture of a page."""
    for number, _, line in markdown_lines(lines):
        definition = REFERENCE_DEF.match(line)
        if definition:
            yield number, definition.group(2).strip("<>")
            continue
        for target in inline_targets(line):
            yield number, target
        for pattern in (HTML_TARGET, AUTOLINK):
            for target in pattern.findall(line):
                yield number, target


def check_target(root, page, target, read_lines):
    """None when target is sound from page, else why not."""
    if not target:
        return "empty target"
    if SCHEME.match(target):
        return None if target in ALLOWED_EXTERNAL else "absolute link not allowed offline"
    path, _, anchor = target.partition("#")
    path = urllib.parse.unquote(path.split("?")[0])
    if path.startswith("/"):
        return "absolute path"
    file = os.path.normpath(os.path.join(os.path.dirname(page), path)) if path else page
    if os.path.relpath(file, root).startswith(".."):
        return "outside the tree"
    if not os.path.exists(file):
        return "no such file"
    if not anchor:
        return None
    if not file.endswith(".md") or not os.path.isfile(file):
        return "anchor into a file that has no headings"
    if urllib.parse.unquote(anchor) not in anchors(read_lines(file)):
        return "no such heading"
    return None


def pages(root):
    found = [os.path.join(root, "README.md")]
    for folder, _, names in os.walk(os.path.join(root, "doc")):
        found += [os.path.join(folder, n) for n in sorted(names) if n.endswith(".md")]
    return [p for p in found if os.path.isfile(p)]


def check_tree(root):
    root = os.path.abspath(root)
    cache = {}

    def read_lines(path):
        if path not in cache:
            with open(path, encoding="utf-8") as f:
                cache[path] = f.read().splitlines()
        return cache[path]

    broken = []
    for page in pages(root):
        for number, target in targets(read_lines(page)):
            why = check_target(root, page, target, read_lines)
            if why:
                broken.append(f"{os.path.relpath(page, root)}:{number}: {target} ({why})")
    return broken


def self_test():
    """The slug rule and what counts as a link, on cases GitHub renders."""
    slugs = [
        ("The two commands", "the-two-commands"),
        ("CI's stages", "cis-stages"),
        ("Service units (systemd)", "service-units-systemd"),
        ("rfwatch-web frames", "rfwatch-web-frames"),
        ("`rfwatchd`: the daemon", "rfwatchd-the-daemon"),
        ("Is my channel usable?", "is-my-channel-usable"),
        ("snake_case and  two spaces", "snake_case-and--two-spaces"),
        ("Ünïcode Überblick", "ünïcode-überblick"),
        ("See [the page](web.md) now", "see-the-page-now"),
    ]
    page = ["# Title", "## Part", "## Part", "Setext", "------", "    # not a heading", "## Part",
            "## `code` in it", "<a id=\"here\"></a>"]
    links = [
        ("a [x](b.md) and ![y](img/c.png \"t\")", ["b.md", "img/c.png"]),
        ("[![pic](p.png)](q.md#r)", ["p.png", "q.md#r"]),
        ("see [f(x)](f_(x).md) here", ["f_(x).md"]),
        ("`[not](code.md)` but [yes](<a b.md>)", ["a b.md"]),
        ("[ref]: other.md#s", ["other.md#s"]),
        ("<https://example.org/> <img src=\"i.png\">", ["i.png", "https://example.org/"]),
        ("a [bracket] (then parens) is no link", []),
    ]
    failures = [f"slug({text!r}) = {slug(text)!r}, want {want!r}"
                for text, want in slugs if slug(text) != want]
    want_anchors = {"title", "part", "part-1", "part-2", "setext", "code-in-it", "here"}
    if anchors(page) != want_anchors:
        failures.append(f"anchors = {sorted(anchors(page))}, want {sorted(want_anchors)}")
    for line, want in links:
        got = [t for _, t in targets([line])]
        if got != want:
            failures.append(f"targets({line!r}) = {got}, want {want}")
    fenced = ["```sh", "[x](missing.md)", "```", "", "    [y](missing.md)"]
    if list(targets(fenced)):
        failures.append("a link inside a code block was checked")
    for f in failures:
        print(f)
    return 1 if failures else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source", help="the source tree")
    parser.add_argument("--self-test", action="store_true", help="check the checker")
    args = parser.parse_args()
    if args.self_test:
        return self_test()
    if not args.source:
        parser.error("--source or --self-test is required")
    broken = check_tree(args.source)
    for line in broken:
        print(line)
    print(f"{len(broken)} broken link(s) in {len(pages(os.path.abspath(args.source)))} page(s)",
          file=sys.stderr)
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())
