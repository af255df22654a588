#!/usr/bin/env python3
"""Checks that every C++ block of a Markdown guide is quoted from an example.

Each ```cpp block must follow a line

    <!-- snippet: examples/FILE.cpp NAME -->

and hold exactly the lines of FILE between its marker lines `// [NAME]`,
without their common indentation. Marker lines of other snippets inside the
region are left out. A name may mark several regions of one file: the block
then holds them in order, joined by a line `// ...` indented like the last
line before the gap.

    check_snippets.py GUIDE.md SOURCE_DIR

SOURCE_DIR is what the FILE paths are relative to. Exit status 1 lists every
block that does not match, with the differing lines.
"""
import difflib
import os
import re
import sys

MARKER = re.compile(r"^\s*// \[([A-Za-z0-9_-]+)\]\s*$")
SNIPPET = re.compile(r"^<!-- snippet: (\S+) (\S+) -->$")


def indentation(line):
    return len(line) - len(line.lstrip(" "))


def regions(path):
    """NAME -> list of regions (lists of lines) of one source file."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    found, open_at = {}, {}
    for number, line in enumerate(lines):
        match = MARKER.match(line)
        if not match:
            continue
        name = match.group(1)
        if name in open_at:
            body = [l for l in lines[open_at.pop(name) + 1:number] if not MARKER.match(l)]
            found.setdefault(name, []).append(body)
        else:
            open_at[name] = number
    for name, number in open_at.items():
        raise ValueError(f"{path}:{number + 1}: the marker // [{name}] is never closed")
    return found


def snippet_text(parts):
    """The regions as the guide shows them: dedented, joined by `// ...`."""
    width = min((indentation(l) for part in parts for l in part if l.strip()), default=0)
    out = []
    for i, part in enumerate(parts):
        if i > 0:
            last = next((l for l in reversed(parts[i - 1]) if l.strip()), "")
            out.append(" " * (indentation(last) - width) + "// ...")
        out.extend(l[width:] if l.strip() else "" for l in part)
    return out


def guide_blocks(path):
    """(line number, snippet marker or None, language, lines) per fenced block."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    blocks, i = [], 0
    while i < len(lines):
        fence = re.match(r"^```(\S*)\s*$", lines[i])
        if not fence:
            i += 1
            continue
        start = i
        j = i + 1
        while j < len(lines) and lines[j].rstrip() != "```":
            j += 1
        previous = next((lines[k] for k in range(start - 1, -1, -1) if lines[k].strip()), "")
        marker = SNIPPET.match(previous.strip())
        blocks.append((start + 1, marker, fence.group(1), lines[start + 1:j]))
        i = j + 1
    return blocks


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    guide, root = sys.argv[1], sys.argv[2]
    problems, checked, cache = [], 0, {}
    for line, marker, language, body in guide_blocks(guide):
        if marker is None:
            if language == "cpp":
                problems.append(f"{guide}:{line}: a C++ block without <!-- snippet: FILE NAME --> before it")
            continue
        file, name = marker.groups()
        path = os.path.join(root, file)
        try:
            if path not in cache:
                cache[path] = regions(path)
        except (OSError, ValueError) as error:
            problems.append(f"{guide}:{line}: {error}")
            continue
        if name not in cache[path]:
            problems.append(f"{guide}:{line}: {file} has no region // [{name}]")
            continue
        expected = snippet_text(cache[path][name])
        body = [l.rstrip() for l in body]
        checked += 1
        if body != [l.rstrip() for l in expected]:
            diff = "\n".join(difflib.unified_diff(expected, body, f"{file} [{name}]", f"{guide}:{line}",
                                                  lineterm=""))
            problems.append(f"{guide}:{line}: the block differs from {file} [{name}]:\n{diff}")
    if checked == 0:
        problems.append(f"{guide}: no quoted snippet found")
    for problem in problems:
        print(problem)
    print(f"{checked} snippets checked, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
