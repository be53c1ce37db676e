#!/usr/bin/env python3
"""The reading and writing goals, each with its figure from this run and
whether it is met: ratios within one run (libxml2's empty-handler parse, the
floor reader and gSOAP are measured on the same bytes), peaks from kvsoa-memory,
and the 20 MB save request under each preloaded allocator.

  goals.py BENCH.json MEMORY.json [NAME=ALLOCATOR-BENCH.json ...]"""

import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from report import load_rates  # noqa: E402


class Goal:
    def __init__(self, text, value, target, higher_is_better=True):
        self.text, self.value, self.target, self.higher_is_better = text, value, target, higher_is_better

    @property
    def verdict(self):
        if self.value is None:
            return "not measured"
        met = self.value >= self.target if self.higher_is_better else self.value <= self.target
        return "met" if met else "not met"


def ratio(a, b):
    return None if a is None or b is None or b == 0 else a / b


def peak(value):
    """kvsoa-memory writes a negative figure for a probe it could not run."""
    return value if value is not None and value >= 0 else None


def goals(rates, micros, memory, allocators=()):
    """Every goal, in the order they are printed. rates: MB/s and micros: µs per
    iteration by benchmark name; memory: kvsoa-memory's JSON; allocators:
    (name, rates) of the preloaded runs."""
    found = []

    def rate(operation, doc):
        return rates.get(f"{operation}/{doc}")

    def read_figures(doc):
        return {"the parse": ratio(rate("read", doc), rate("libxml2", doc)),
                "the floor": ratio(rate("read", doc), rate("floor", doc)),
                "gSOAP's read": ratio(rate("read", doc), rate("gsoap-read", doc)),
                "gSOAP's write": ratio(rate("write", doc), rate("gsoap-write", doc))}

    for message in ("save", "load"):
        doc = f"{message}/20MB/compact"
        figures = read_figures(doc)
        found.append(Goal(f"20 MB {message}: readXml ≥ 0.45× libxml2's empty-handler parse", figures["the parse"], 0.45))
        found.append(Goal(f"20 MB {message}: readXml ≥ 0.9× the floor", figures["the floor"], 0.9))
        found.append(Goal(f"20 MB {message}: readXml ≥ 2.5× gSOAP's read", figures["gSOAP's read"], 2.5))
        found.append(Goal(f"20 MB {message}: writeXml ≥ 4× gSOAP's write", figures["gSOAP's write"], 4))
        probe = memory.get(message, {})
        found.append(Goal(f"20 MB {message}: one read peaks ≤ 2.2× the document", peak(probe.get("read_peak")), 2.2,
                          False))
        found.append(Goal(f"20 MB {message}: a read from a stream peaks ≤ 2.2× the document (the text not counted)",
                          peak(probe.get("stream_read_peak")), 2.2, False))
        found.append(Goal(f"20 MB {message}: a read with a trace listener installed peaks ≤ 1.15× one without",
                          ratio(peak(probe.get("listener_read_peak")), peak(probe.get("read_peak"))), 1.15, False))
        large = f"{message}/200MB/compact"
        if any(name.endswith("/" + large) for name in rates):
            for over, figure in read_figures(large).items():
                found.append(Goal(f"200 MB {message}: the figure over {over} ≥ 0.8× the 20 MB one",
                                  ratio(figure, figures[over]), 0.8))

    for name, run in allocators:
        if name == "glibc":
            continue
        doc = "save/20MB/compact"
        found.append(Goal(f"20 MB save, {name} preloaded: readXml ≥ 0.6× the parse",
                          ratio(run.get(f"read/{doc}"), run.get(f"libxml2/{doc}")), 0.6))

    for message in ("save", "load"):
        doc = f"{message}/1KB/compact"
        found.append(Goal(f"1 KB {message}: readXml + release ≤ 2.2× the empty parse's time",
                          ratio(micros.get(f"read+release/{doc}"), micros.get(f"libxml2/{doc}")), 2.2, False))
        found.append(Goal(f"1 KB {message}: writeXml ≥ 3.5× gSOAP's write",
                          ratio(rate("write", doc), rate("gsoap-write", doc)), 3.5))
    return found


def render(found):
    lines = ["| goal | measured | |", "|---|---|---|"]
    for goal in found:
        value = "–" if goal.value is None else f"{goal.value:.2f}×"
        lines.append(f"| {goal.text} | {value} | {goal.verdict} |")
    met = sum(goal.verdict == "met" for goal in found)
    lines.append("")
    lines.append(f"{met} of {len(found)} goals met.")
    return "\n".join(lines)


def main(arguments):
    _, rates, micros = load_rates(arguments[0])
    with open(arguments[1]) as f:
        memory = json.load(f)
    allocators = []
    for argument in arguments[2:]:
        name, path = argument.split("=", 1)
        allocators.append((name, load_rates(path)[1]))
    print()
    print(render(goals(rates, micros, memory, allocators)))


if __name__ == "__main__":
    main(sys.argv[1:])
