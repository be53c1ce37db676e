#!/usr/bin/env python3
"""The code that docs/guide.md shows is the code that runs.

Each code block in the guide that follows a marker
    <!-- snippet: FILE BLOCK -->   the lines between the two "[BLOCK]" markers of FILE
    <!-- output: FILE -->          the whole of FILE, what an example prints
must hold exactly that, out of examples/guide/ (snippets lose their common
indentation). Checks, or with --update rewrites the blocks from the files.

    guide_code.py GUIDE EXAMPLES_DIR [--update]
"""
import re
import sys
from pathlib import Path

MARKER = re.compile(r"^<!-- (snippet|output): (\S+)(?: (\S+))? -->$")
BLOCK_MARK = re.compile(r"^\s*(?://!|#!) \[(\S+)\]\s*$")


def snippet(path, name):
    lines, inside, found = [], False, False
    for line in path.read_text().splitlines():
        mark = BLOCK_MARK.match(line)
        if mark and mark.group(1) == name:
            found = True
            inside = not inside
            continue
        if inside:
            lines.append(line)
    if not found:
        raise ValueError(f"{path.name} has no block [{name}]")
    indent = min((len(l) - len(l.lstrip()) for l in lines if l.strip()), default=0)
    return [l[indent:] for l in lines]


def expected_block(examples, kind, file, name):
    path = examples / file
    return snippet(path, name) if kind == "snippet" else path.read_text().splitlines()


def main():
    guide, examples = Path(sys.argv[1]), Path(sys.argv[2])
    update = "--update" in sys.argv[3:]
    lines = guide.read_text().splitlines()
    out, problems, i, blocks = [], [], 0, 0
    while i < len(lines):
        line = lines[i]
        out.append(line)
        i += 1
        if line.lstrip().startswith(("\\snippet", "\\verbinclude", "\\include")):
            problems.append(f"{guide}:{i}: a Doxygen include, which a Markdown reader shows as it is")
        marker = MARKER.match(line)
        if not marker:
            continue
        blocks += 1
        kind, file, name = marker.groups()
        try:
            want = expected_block(examples, kind, file, name)
        except (OSError, ValueError) as error:
            problems.append(f"{guide}:{i}: {error}")
            continue
        if i >= len(lines) or not lines[i].startswith("```"):
            problems.append(f"{guide}:{i}: the marker is not followed by a code block")
            continue
        fence = lines[i]
        end = next((j for j in range(i + 1, len(lines)) if lines[j] == "```"), None)
        if end is None:
            problems.append(f"{guide}:{i + 1}: the code block does not end")
            continue
        shown = lines[i + 1:end]
        if shown != want:
            problems.append(f"{guide}:{i + 1}: the block differs from {file}" + (f" [{name}]" if name else ""))
        out.extend([fence] + want + ["```"])
        i = end + 1
    if blocks == 0:
        problems.append(f"{guide}: no code block is marked as coming from an example")
    if update:
        guide.write_text("\n".join(out) + "\n")
        print(f"{guide}: {blocks} blocks written")
        return 0
    for problem in problems:
        print(problem)
    if problems:
        print("run examples/guide/guide_code.py docs/guide.md examples/guide --update to write the blocks again")
        return 1
    print(f"{guide}: {blocks} blocks are the examples' code and output")
    return 0


if __name__ == "__main__":
    sys.exit(main())
