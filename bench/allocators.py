#!/usr/bin/env python3
"""The allocators' table: readXml, the floor reader, readXml's release and libxml2's empty-handler parse
of the 20 MB save request, run with glibc's malloc and with each allocator
preloaded, as ratios within each run (the parse allocates next to nothing, so
it is each run's own baseline).

  allocators.py NAME=BENCH.json [NAME=BENCH.json ...]"""

import json
import re
import sys


def rates(path):
    with open(path) as f:
        data = json.load(f)
    found = {}
    for run in data["benchmarks"]:
        if run.get("error_occurred") or "bytes_per_second" not in run:
            continue
        found[re.sub(r"(/iterations:\d+)?(/manual_time)?$", "", run["name"])] = run["bytes_per_second"] / 1e6
    return found


def main(arguments):
    runs = [(name, rates(path)) for name, path in (argument.split("=", 1) for argument in arguments)]
    glibc = dict(runs).get("glibc", {})
    print()
    print("| allocator (20 MB save request) | readXml | floor | destroy | libxml2, empty handlers |"
          " readXml over the parse | floor over the parse | readXml over the floor | readXml over glibc's |")
    print("|---|---|---|---|---|---|---|---|---|")

    def over(a, b):
        return f"{a / b:.2f}×" if a and b else "–"

    for name, rate in runs:
        read, floor, destroy, parse = (rate.get(f"{op}/save/20MB/compact")
                                       for op in ("read", "floor", "destroy", "libxml2"))
        print(f"| {name} | {read or 0:.1f} MB/s | {floor or 0:.1f} MB/s | {destroy or 0:.0f} MB/s |"
              f" {parse or 0:.0f} MB/s | {over(read, parse)} | {over(floor, parse)} | {over(read, floor)} |"
              f" {over(read, glibc.get('read/save/20MB/compact'))} |")


if __name__ == "__main__":
    main(sys.argv[1:])
