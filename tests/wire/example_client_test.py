#!/usr/bin/env python3
"""examples/client against `wixml serve --strict`: answered with the save
reply and with a fault from a save-fault.xml, over SOAP 1.1 and SOAP 1.2. The
service validates the client's request against the schema, so a request that
a schema-bound peer would refuse fails here too.

  example_client_test.py WIXML CLIENT EXAMPLES_DIR
"""

import os
import re
import sys
import subprocess

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from serve_fixture import Serve, replies_directory  # noqa: E402

SOAP11 = "http://schemas.xmlsoap.org/soap/envelope/"
STEP_SECONDS = 60
FAULT = (f'<soapenv:Envelope xmlns:soapenv="{SOAP11}"><soapenv:Body><soapenv:Fault>'
         "<faultcode>soapenv:Server</faultcode><faultstring>Work instruction is checked out by another user"
         "</faultstring><detail><lock>jdoe since 08:00</lock></detail></soapenv:Fault></soapenv:Body></soapenv:Envelope>")


def run_client(client, options, version):
    with Serve(wixml, "--strict", *options) as serve:
        run = subprocess.run([client, *version, serve.url + "WorkInstructions"], capture_output=True, text=True,
                             timeout=STEP_SECONDS)
        serve.stop()
    return run, serve.log


wixml, client, examples = sys.argv[1:4]
failures = []
# One row per SOAP version: the option, and the fault code the service answers in it.
for version, code in (([], "soapenv:Server"), (["--soap12"], "env:Receiver")):
    name = "SOAP 1.2" if version else "SOAP 1.1"
    saved, saved_log = run_client(client, [], version)
    with replies_directory(examples, save_fault=FAULT) as directory:
        fault, fault_log = run_client(client, ["--replies", directory], version)

    if saved.returncode != 0:
        failures.append(f"{name}, the reply: exit {saved.returncode}, stderr {saved.stderr!r}")
    for line in ["Saved: 1 created, 2 updated, 0 deleted", "  created Pf0817Photo", "  updated Dcd0815Torque",
                 "  updated Stx4711Housing",
                 "  partial error 515024 on SymWarning001: Symbol is checked out by another user; kept unchanged"]:
        if line not in saved.stdout.splitlines():
            failures.append(f"{name}, the reply: no line {line!r} in {saved.stdout!r}")
    if fault.returncode != 2:
        failures.append(f"{name}, the fault: exit {fault.returncode}, expected 2; stderr {fault.stderr!r}")
    for text in [f"code {code}", "reason: Work instruction is checked out by another user",
                 "detail: jdoe since 08:00"]:
        if text not in fault.stderr:
            failures.append(f"{name}, the fault: {text!r} not in {fault.stderr!r}")
    # The service accepted each request as a save, schema and action included.
    for log, status in ((saved_log, 200), (fault_log, 500)):
        if not re.search(rf"^POST save {status} received [1-9]\d* ", log, re.M):
            failures.append(f"{name}: the service's log has no 'POST save {status}' line: {log!r}")

for failure in failures:
    print("FAIL:", failure)
if failures:
    sys.exit(1)
print("the client saved through wixml serve --strict and reported the fault it was given, in both SOAP versions")
