#!/usr/bin/env python3
"""`wixml serve`'s GET /metrics as Prometheus takes it: promtool's check and
the Python client's parser, and the counts after known requests.

  serve_metrics_test.py WIXML EXAMPLES_DIR PROMTOOL
"""

import base64
import os
import subprocess
import sys
import tempfile
import time

from prometheus_client.parser import text_string_to_metric_families

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from serve_fixture import ACTION, SOAP12, TEXT_XML, Serve, example_message  # noqa: E402

wixml, examples, promtool = sys.argv[1], sys.argv[2], sys.argv[3]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


def samples(text):
    """(name, sorted labels) -> value, for every sample the parser read."""
    found = {}
    for family in text_string_to_metric_families(text):
        for sample in family.samples:
            found[(sample.name, tuple(sorted(sample.labels.items())))] = sample.value
    return found


def soap12(message):
    return (f'<soap:Envelope xmlns:soap="{SOAP12}"><soap:Body>{message}</soap:Body></soap:Envelope>').encode()


def soap11(message):
    return ('<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Body>'
            f'{message}</soap:Body></soap:Envelope>').encode()


def test_counts_after_known_requests():
    load = soap11(example_message(examples, "load-request.xml"))
    save = soap12(example_message(examples, "save-request.xml"))
    alice = "Basic " + base64.b64encode(b"alice:open sesame").decode()
    soap11_load = {"Content-Type": TEXT_XML, "SOAPAction": ACTION["load"]}
    # (what, body, headers, status): each exchange before the scrape.
    exchanges = [
        *[("load", load, {**soap11_load, "Authorization": alice}, 200)] * 3,
        ("save", save, {"Content-Type": f'application/soap+xml; action="{ACTION["save"]}"', "Authorization": alice},
         200),
        ("a body that is no XML", b"<a", {**soap11_load, "Authorization": alice}, 500),
        ("a wrong password", load, {**soap11_load, "Authorization": "Basic " + base64.b64encode(b"alice:x").decode()},
         401),
    ]
    with tempfile.TemporaryDirectory() as directory:
        users = os.path.join(directory, "users")
        subprocess.run(["htpasswd", "-c", "-b", "-B", "-C", "4", users, "alice", "open sesame"], check=True,
                       capture_output=True)
        with Serve(wixml, "--users", users) as serve:
            sent = 0
            for what, body, headers, status in exchanges:
                got, _, answer = serve.request("POST", "/WorkInstructions", body, headers)
                check(got == status, f"{what}: {got}, not {status}")
                sent += len(answer)
            # Open as ?wsdl is, --users or not. A refused body's connection
            # closes gracefully, and its exchange is counted once it has; the
            # server sees the other connections close when it next looks.
            for _ in range(100):
                status, headers, text = serve.request("GET", "/metrics")
                found = samples(text.decode()) if status == 200 else {}
                counted = sum(v for (name, labels), v in found.items()
                              if name == "wi_server_requests_total" and ("operation", "metrics") not in labels)
                if status != 200 or (counted == len(exchanges) and found[("wi_server_open_connections", ())] == 1):
                    break
                sent += len(text)
                time.sleep(0.05)
    check(status == 200 and headers.get("content-type", "").startswith("text/plain; version=0.0.4"),
          f"/metrics: {status} {headers}")
    text = text.decode()
    linted = subprocess.run([promtool, "check", "metrics"], input=text, capture_output=True, text=True)
    check(linted.returncode == 0, f"promtool check metrics: {linted.stdout}{linted.stderr}")
    found = samples(text)

    def value(name, **labels):
        return found.get((name, tuple(sorted(labels.items()))))

    expected = {
        ("wi_server_requests_total", (("code", "200"), ("operation", "load"), ("version", "soap11"))): 3,
        ("wi_server_requests_total", (("code", "200"), ("operation", "save"), ("version", "soap12"))): 1,
        ("wi_server_requests_total", (("code", "500"), ("operation", "none"), ("version", "soap11"))): 1,
        ("wi_server_requests_total", (("code", "401"), ("operation", "none"), ("version", "none"))): 1,
        ("wi_server_faults_total", (("code", "Sender"),)): 1,
        ("wi_server_faults_total", (("code", "Receiver"),)): 0,
        ("wi_server_refusals_total", (("cause", "authentication"),)): 1,
        ("wi_server_refusals_total", (("cause", "body_limit"),)): 0,
        ("wi_server_request_duration_seconds_count", (("operation", "load"),)): 3,
        ("wi_server_request_duration_seconds_bucket", (("le", "+Inf"), ("operation", "load"))): 3,
        ("wi_server_request_duration_seconds_count", (("operation", "save"),)): 1,
        # The refused caller's body is never read.
        ("wi_server_received_bytes_total", ()): sum(len(body) for _, body, _, status in exchanges if status != 401),
        ("wi_server_sent_bytes_total", ()): sent,
        ("wi_server_bodies_in_flight", ()): 0,
        ("wi_server_body_memory_limit_bytes", ()): 134217728,
        ("wi_server_answer_memory_limit_bytes", ()): 268435456,
    }
    for key, want in expected.items():
        check(found.get(key) == want, f"{key}: {found.get(key)}, not {want}")
    requests = sum(v for (name, labels), v in found.items()
                   if name == "wi_server_requests_total" and ("operation", "metrics") not in labels)
    check(requests == len(exchanges), f"{requests} requests counted, not {len(exchanges)}")
    buckets = sorted(((float(dict(labels)["le"]), v) for (name, labels), v in found.items()
                      if name == "wi_server_request_duration_seconds_bucket" and dict(labels)["operation"] == "load"))
    check(all(a[1] <= b[1] for a, b in zip(buckets, buckets[1:])), f"load's buckets not cumulative: {buckets}")
    # Queries select a bucket by the label's text: written as Prometheus's clients write it.
    bounds = [dict(labels)["le"] for (name, labels) in found if name == "wi_server_request_duration_seconds_bucket"]
    check(all(le == "+Inf" or le == format(float(le), "g") for le in bounds), f"bucket bounds: {sorted(set(bounds))}")
    check(value("wi_server_open_connections") == 1, f"open connections: {value('wi_server_open_connections')}")


def test_switched_off():
    with Serve(wixml, "--no-metrics") as serve:
        status, _, _ = serve.request("GET", "/metrics")
    check(status == 404, f"/metrics with --no-metrics: {status}")
    both = subprocess.run([wixml, "serve", "--metrics", "--no-metrics"], capture_output=True, text=True)
    check(both.returncode == 2 and "contradict" in both.stderr, f"--metrics --no-metrics: {both.stderr!r}")


for test in (test_counts_after_known_requests, test_switched_off):
    test()
for failure in failures:
    print("FAIL:", failure)
print(f"{len(failures)} failures")
sys.exit(1 if failures else 0)
