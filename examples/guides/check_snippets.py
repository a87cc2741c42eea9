#!/usr/bin/env python3
"""Checks that the code blocks of the guides are the marked regions of compiled sources.

A guide marks a block with a line `<!-- snippet: <source>#<name> -->` right before a fenced
code block; the source marks the region with `// [snippet:<name>]` and `// [end]` lines. The
region, without its common indentation, must equal the block. With --update, the blocks are
rewritten from the sources instead.

Usage: check_snippets.py [--update] --root <repository> <guide.md>...
"""
import argparse
import pathlib
import re
import sys
import textwrap

MARK = re.compile(r"^<!-- snippet: (?P<source>[^#\s]+)#(?P<name>[\w-]+) -->$")


def region(root, source, name):
    lines = (root / source).read_text().splitlines()
    start = f"// [snippet:{name}]"
    try:
        first = next(i for i, line in enumerate(lines) if line.strip() == start) + 1
        last = next(i for i in range(first, len(lines)) if lines[i].strip() == "// [end]")
    except StopIteration:
        raise SystemExit(f"{source}: no region {name}")
    return textwrap.dedent("\n".join(lines[first:last])).splitlines()


def process(root, guide, update):
    lines = guide.read_text().splitlines()
    out, problems, i = [], [], 0
    while i < len(lines):
        out.append(lines[i])
        match = MARK.match(lines[i])
        i += 1
        if not match:
            continue
        if i >= len(lines) or not lines[i].startswith("```"):
            problems.append(f"{guide}:{i}: a snippet mark must precede a code block")
            continue
        end = next((j for j in range(i + 1, len(lines)) if lines[j].startswith("```")), None)
        if end is None:
            problems.append(f"{guide}:{i + 1}: unterminated code block")
            break
        expected = region(root, match["source"], match["name"])
        if lines[i + 1:end] != expected:
            problems.append(f"{guide}:{i + 1}: differs from {match['source']}#{match['name']}")
        out += [lines[i]] + expected + [lines[end]]
        i = end + 1
    if update:
        guide.write_text("\n".join(out) + "\n")
        return []
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--update", action="store_true")
    parser.add_argument("--root", type=pathlib.Path, default=pathlib.Path("."))
    parser.add_argument("guides", nargs="+")
    args = parser.parse_args()
    problems = []
    for guide in args.guides:
        problems += process(args.root, args.root / guide, args.update)
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        print("Update the guides with: examples/guides/check_snippets.py --update --root . "
              + " ".join(args.guides), file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
