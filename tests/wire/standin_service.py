#!/usr/bin/env python3
"""A stand-in for the work-instruction service on 127.0.0.1, and the client run against it.

Every request the service receives is checked with `wixml check --strict`; the
first is answered with the save reply in a SOAP 1.1 envelope, the second with a
SOAP fault. The client runs once for each and must print the saved objects,
then the fault. The service listens on a free port for the time of the test.

  standin_service.py --wixml WIXML --client CLIENT --reply SAVE-REPLY.xml
"""

import argparse
import http.server
import os
import re
import subprocess
import sys
import tempfile
import threading

SOAP11 = "http://schemas.xmlsoap.org/soap/envelope/"
SAVE_ACTION = '"http://velmora.com/Schemas/MES/2010-09/WorkInstructions/save"'
STEP_SECONDS = 60  # bound on each run of the client and of wixml


def enveloped(message):
    message = re.sub(r"^<\?xml[^>]*\?>\s*", "", message)
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            f'<soapenv:Envelope xmlns:soapenv="{SOAP11}">\n<soapenv:Body>\n{message}</soapenv:Body>\n'
            '</soapenv:Envelope>\n')


FAULT = enveloped(
    f'<soapenv:Fault xmlns:soapenv="{SOAP11}"><faultcode>soapenv:Server</faultcode>'
    "<faultstring>Work instruction is checked out by another user</faultstring>"
    "<detail><lock>jdoe since 08:00</lock></detail></soapenv:Fault>\n")


class StandIn(http.server.ThreadingHTTPServer):
    def __init__(self, wixml, reply, work):
        super().__init__(("127.0.0.1", 0), Handler)
        self.wixml = wixml
        self.answers = [(200, enveloped(reply)), (500, FAULT)]
        self.work = work
        self.problems = []
        self.received = 0
        self.lock = threading.Lock()


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        server = self.server
        with server.lock:
            number = server.received
            server.received += 1
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        if not self.headers.get("Content-Type", "").startswith("text/xml"):
            server.problems.append(f"request {number}: Content-Type {self.headers.get('Content-Type')!r}")
        # The save operation's action, as schema/WorkInstructionsService.wsdl binds it.
        if self.headers.get("SOAPAction") != SAVE_ACTION:
            server.problems.append(f"request {number}: SOAPAction {self.headers.get('SOAPAction')!r}")
        path = os.path.join(server.work, f"request-{number}.xml")
        with open(path, "wb") as out:
            out.write(body)
        check = subprocess.run([server.wixml, "check", "--strict", path], capture_output=True, text=True,
                               timeout=STEP_SECONDS)
        expected = f"{path}: ok: SaveWorkInstructionDocInput, "
        if check.returncode != 0 or not check.stdout.startswith(expected) or "SOAP 1.1 envelope" not in check.stdout:
            server.problems.append(f"request {number}: wixml check says {check.stdout}{check.stderr}")
        status, text = server.answers[number] if number < len(server.answers) else (404, "")
        data = text.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", "text/xml; charset=utf-8")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def log_message(self, *args):
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wixml", required=True)
    parser.add_argument("--client", required=True)
    parser.add_argument("--reply", required=True)
    options = parser.parse_args()
    with open(options.reply, encoding="utf-8") as reply:
        reply_text = reply.read()

    failures = []
    with tempfile.TemporaryDirectory() as work:
        server = StandIn(options.wixml, reply_text, work)
        thread = threading.Thread(target=server.serve_forever, daemon=True)
        thread.start()
        try:
            url = f"http://127.0.0.1:{server.server_address[1]}/WorkInstructions"
            runs = [subprocess.run([options.client, url], capture_output=True, text=True, timeout=STEP_SECONDS)
                    for _ in range(2)]
        finally:
            server.shutdown()
            server.server_close()
            thread.join(STEP_SECONDS)

    saved, fault = runs
    if saved.returncode != 0:
        failures.append(f"the reply: exit {saved.returncode}, stderr {saved.stderr!r}")
    for line in ["Saved: 1 created, 2 updated, 0 deleted", "  created Pf0817Photo", "  updated Dcd0815Torque",
                 "  partial error 515024 on SymWarning001: Symbol is checked out by another user; kept unchanged"]:
        if line not in saved.stdout.splitlines():
            failures.append(f"the reply: no line {line!r} in {saved.stdout!r}")
    if fault.returncode != 2:
        failures.append(f"the fault: exit {fault.returncode}, expected 2; stderr {fault.stderr!r}")
    for text in ["code soapenv:Server", "reason: Work instruction is checked out by another user",
                 "detail: jdoe since 08:00", "HTTP 500"]:
        if text not in fault.stderr:
            failures.append(f"the fault: {text!r} not in {fault.stderr!r}")
    if server.received != 2:
        failures.append(f"the service received {server.received} requests, expected 2")
    failures += server.problems

    for failure in failures:
        print("FAIL:", failure)
    if failures:
        return 1
    print("the client saved through the stand-in and reported its fault")
    return 0


if __name__ == "__main__":
    sys.exit(main())
