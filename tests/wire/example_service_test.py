#!/usr/bin/env python3
"""examples/service.cpp with its clients: examples/client.cpp saves through it
in each SOAP version, and what was saved comes back from load; a load of a uid
never saved gets the service's own fault, whose detail element reaches the
example client by name (zeep_fault_test.py gives it to zeep). Then both over
TLS with an htpasswd user: the right password saves, a wrong one and an
untrusted certificate fail.

    example_service_test.py EXAMPLE_SERVICE EXAMPLE_CLIENT
"""

import os
import re
import subprocess
import sys
import tempfile

from serve_fixture import Serve

STORE = "urn:example:work-instruction-store"

ACTION = "http://velmora.com/Schemas/MES/2010-09/WorkInstructions/load"
LOAD = """<soapenv:Envelope xmlns:soapenv="http://schemas.xmlsoap.org/soap/envelope/"
    xmlns:wi="http://velmora.com/Schemas/MES/2010-09/WorkInstructions"><soapenv:Body>
  <wi:LoadWorkInstructionDocInput><wi:loadedInfo><wi:targetContext uid="LineB7"/>
  <wi:targetObject uid="{uid}"/></wi:loadedInfo></wi:LoadWorkInstructionDocInput>
</soapenv:Body></soapenv:Envelope>"""


class ExampleService(Serve):
    def __init__(self, program, *options):
        super().__init__(program)
        self.command = [program, "--port", "0", *options]


def secured_calls(service, client, check):
    """The example service over TLS with an htpasswd user, and the example client calling it."""
    with tempfile.TemporaryDirectory() as directory:
        subprocess.run(["sh", os.path.join(os.path.dirname(os.path.abspath(__file__)), "make_certificates.sh"),
                        directory], check=True)
        users = os.path.join(directory, "users")
        subprocess.run(["htpasswd", "-c", "-b", "-B", "-C", "4", users, "alice", "open sesame"], check=True,
                       capture_output=True)
        with ExampleService(service, "--tls-cert", os.path.join(directory, "server.pem"),
                            "--tls-key", os.path.join(directory, "server.key"), "--users", users) as serve:
            url = serve.url.replace("127.0.0.1", "localhost")
            ca = ["--cacert", os.path.join(directory, "ca.pem")]
            calls = [(ca + ["--user", "alice:open sesame"], 0, r"Saved: 1 created"),
                     (ca + ["--user", "alice:guess"], 1, r""),
                     (["--user", "alice:open sesame"], 1, r"")]
            for options, status, output in calls:
                run = subprocess.run([client, *options, url], capture_output=True, text=True, timeout=60)
                check(run.returncode == status and re.search(output, run.stdout),
                      f"{options}: exit {run.returncode}, {run.stdout!r} {run.stderr!r}")
            serve.stop()
        check(re.search(r"^example_service: alice saves \(request [0-9a-f]{16}\)$", serve.log, re.MULTILINE),
              f"who saved, in the log: {serve.log!r}")
        check("refused user 'alice' from 127.0.0.1:" in serve.log, f"the refusal, in the log: {serve.log!r}")


def main():
    service, client = sys.argv[1:3]
    failures = []

    def check(ok, what):
        if not ok:
            failures.append(what)
            print("FAIL:", what)

    with ExampleService(service) as serve:
        # Calls in order: each one sees what the ones before it saved.
        calls = [
            ([client, serve.url], 0, r"Saved: 1 created, 0 updated, 0 deleted\n  created Op0010Gearbox\n"),
            ([client, "--soap12", serve.url], 0, r"Saved: 0 created, 1 updated, 0 deleted\n  updated Op0010Gearbox\n"),
        ]
        # A uid never saved: the fault's subcode and detail element, read by name.
        faults = [
            ([client, "--load", "Op9999Unknown", serve.url], r"subcode: UnknownObject\n"),
            ([client, "--soap12", "--load", "Op9999Unknown", serve.url], r"subcode: \{" + STORE + r"\}UnknownObject\n"),
        ]
        for command, status, output in calls:
            run = subprocess.run(command, capture_output=True, text=True, timeout=60)
            check(run.returncode == status and re.search(output, run.stdout),
                  f"{command[1:-1]}: exit {run.returncode}, {run.stdout!r} {run.stderr!r}")
        for command, subcode in faults:
            run = subprocess.run(command, capture_output=True, text=True, timeout=60)
            check(run.returncode == 2 and re.search(subcode, run.stderr) and "unknown uid: Op9999Unknown\n" in run.stderr
                  and "detail element {" + STORE + "}uid: Op9999Unknown\n" in run.stderr,
                  f"{command[1:-1]}: exit {run.returncode}, {run.stderr!r}")
        loads = [
            ("Op0010Gearbox", 200, [r'workInstructionFile="WI-4711/B/gearbox-housing.wix"',
                                    r':targetContext uid="LineB7"/>', r'persistentId="Dcd0815Torque"',
                                    r'key="nominal_torque"[^>]*>[^<]*<[^>]*>24.5<|value="24.5"|>24.5<']),
            ("Op9999Unknown", 500, [r"<faultcode>[^<]*Client\.UnknownObject</faultcode>",
                                    r"no work instruction was saved for &apos;Op9999Unknown&apos;|"
                                    r"no work instruction was saved for 'Op9999Unknown'",
                                    r"<store:uid xmlns:store=\"urn:example:work-instruction-store\">Op9999Unknown<"]),
        ]
        for uid, status, patterns in loads:
            got, _, body = serve.post(LOAD.format(uid=uid).encode(), "text/xml; charset=utf-8", f'"{ACTION}"')
            text = body.decode()
            check(got == status, f"load {uid}: HTTP {got}")
            for pattern in patterns:
                check(re.search(pattern, text), f"load {uid}: no {pattern!r} in {text[:600]!r}")
        status, _, _ = serve.request("GET", "/health")
        check(status == 200, f"/health while serving: HTTP {status}")
        check(serve.stop() == 0, f"stop: exit {serve.exit_status}")
    secured_calls(service, client, check)
    if failures:
        return 1
    print(f"example service: {len(calls)} saves by the example client, {len(faults)} faults it read by name, "
          f"{len(loads)} loads, health, stop and calls over TLS with a user as expected")
    return 0


if __name__ == "__main__":
    sys.exit(main())
