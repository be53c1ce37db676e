#!/usr/bin/env python3
"""goals.py on figures whose verdicts are known, and on Google Benchmark's JSON."""

import contextlib
import io
import json
import os
import tempfile
import unittest

import goals


def verdicts(found):
    return {goal.text: (round(goal.value, 3) if goal.value is not None else None, goal.verdict) for goal in found}


MEMORY = {"save": {"read_peak": 2.0, "listener_read_peak": 2.2, "stream_read_peak": 2.5},
          "load": {"read_peak": 2.3, "listener_read_peak": 2.7, "stream_read_peak": -1}}


class GoalsTest(unittest.TestCase):
    def test_ratios_and_verdicts(self):
        rates = {"read/save/20MB/compact": 100, "libxml2/save/20MB/compact": 200, "floor/save/20MB/compact": 110,
                 "gsoap-read/save/20MB/compact": 40, "write/save/20MB/compact": 300,
                 "gsoap-write/save/20MB/compact": 100}
        found = verdicts(goals.goals(rates, {}, MEMORY))
        cases = [
            ("20 MB save: readXml ≥ 0.45× libxml2's empty-handler parse", (0.5, "met")),
            ("20 MB save: readXml ≥ 0.9× the floor", (0.909, "met")),
            ("20 MB save: readXml ≥ 2.5× gSOAP's read", (2.5, "met")),  # the bound itself is met
            ("20 MB save: writeXml ≥ 4× gSOAP's write", (3.0, "not met")),
            ("20 MB save: one read peaks ≤ 2.2× the document", (2.0, "met")),
            ("20 MB save: a read from a stream peaks ≤ 2.2× the document (the text not counted)", (2.5, "not met")),
            ("20 MB load: one read peaks ≤ 2.2× the document", (2.3, "not met")),
            ("20 MB save: a read with a trace listener installed peaks ≤ 1.15× one without", (1.1, "met")),
            ("20 MB load: a read with a trace listener installed peaks ≤ 1.15× one without", (1.174, "not met")),
            # A probe that could not run, and a benchmark that did not.
            ("20 MB load: a read from a stream peaks ≤ 2.2× the document (the text not counted)",
             (None, "not measured")),
            ("20 MB load: readXml ≥ 0.45× libxml2's empty-handler parse", (None, "not measured")),
        ]
        for text, expected in cases:
            with self.subTest(text):
                self.assertEqual(found[text], expected)

    def test_small_messages_compare_time(self):
        micros = {"read+release/save/1KB/compact": 11.0, "libxml2/save/1KB/compact": 5.0,
                  "read+release/load/1KB/compact": 10.0, "libxml2/load/1KB/compact": 5.0}
        rates = {"write/save/1KB/compact": 350, "gsoap-write/save/1KB/compact": 100}
        found = verdicts(goals.goals(rates, micros, {}))
        self.assertEqual(found["1 KB save: readXml + release ≤ 2.2× the empty parse's time"], (2.2, "met"))
        self.assertEqual(found["1 KB load: readXml + release ≤ 2.2× the empty parse's time"], (2.0, "met"))
        self.assertEqual(found["1 KB save: writeXml ≥ 3.5× gSOAP's write"], (3.5, "met"))
        self.assertEqual(found["1 KB load: writeXml ≥ 3.5× gSOAP's write"], (None, "not measured"))
        micros["read+release/save/1KB/compact"] = 11.5
        found = verdicts(goals.goals(rates, micros, {}))
        self.assertEqual(found["1 KB save: readXml + release ≤ 2.2× the empty parse's time"], (2.3, "not met"))

    def test_large_documents_only_when_run(self):
        rates = {"read/save/20MB/compact": 100, "libxml2/save/20MB/compact": 200, "floor/save/20MB/compact": 100}
        self.assertFalse(any("200 MB" in goal.text for goal in goals.goals(rates, {}, {})))
        rates.update({"read/save/200MB/compact": 75, "libxml2/save/200MB/compact": 200,
                      "floor/save/200MB/compact": 80})
        found = verdicts(goals.goals(rates, {}, {}))
        self.assertEqual(found["200 MB save: the figure over the parse ≥ 0.8× the 20 MB one"], (0.75, "not met"))
        self.assertEqual(found["200 MB save: the figure over the floor ≥ 0.8× the 20 MB one"], (0.938, "met"))
        self.assertEqual(found["200 MB save: the figure over gSOAP's read ≥ 0.8× the 20 MB one"],
                         (None, "not measured"))

    def test_allocators_each_judged_against_their_own_parse(self):
        doc = "save/20MB/compact"
        allocators = [("glibc", {f"read/{doc}": 90, f"libxml2/{doc}": 300}),
                      ("tcmalloc", {f"read/{doc}": 190, f"libxml2/{doc}": 300}),
                      ("jemalloc", {f"read/{doc}": 150, f"libxml2/{doc}": 300})]
        found = verdicts(goals.goals({}, {}, {}, allocators))
        self.assertEqual(found["20 MB save, tcmalloc preloaded: readXml ≥ 0.6× the parse"], (0.633, "met"))
        self.assertEqual(found["20 MB save, jemalloc preloaded: readXml ≥ 0.6× the parse"], (0.5, "not met"))
        self.assertFalse(any("glibc" in text for text in found))

    def test_main_reads_benchmark_json(self):
        def run(name, seconds_per_iteration, unit="ms"):
            return {"name": name, "real_time": seconds_per_iteration, "cpu_time": seconds_per_iteration,
                    "time_unit": unit, "bytes_per_second": 1e6 / seconds_per_iteration}
        bench = {"context": {}, "benchmarks": [run("read/save/20MB/compact/iterations:2/manual_time", 4.0),
                                               run("libxml2/save/20MB/compact", 2.0),
                                               {"name": "floor/save/20MB/compact", "error_occurred": True}]}
        with tempfile.TemporaryDirectory() as directory:
            paths = {}
            for name, content in (("bench", bench), ("memory", MEMORY)):
                paths[name] = os.path.join(directory, name + ".json")
                with open(paths[name], "w") as f:
                    json.dump(content, f)
            out = io.StringIO()
            with contextlib.redirect_stdout(out):
                goals.main([paths["bench"], paths["memory"]])
        printed = out.getvalue()
        self.assertIn("| 20 MB save: readXml ≥ 0.45× libxml2's empty-handler parse | 0.50× | met |", printed)
        # A benchmark that stopped with an error has no figure.
        self.assertIn("| 20 MB save: readXml ≥ 0.9× the floor | – | not measured |", printed)
        self.assertRegex(printed, r"\n\d+ of \d+ goals met\.")


if __name__ == "__main__":
    unittest.main()
