#!/usr/bin/env python3
"""`wixml serve` over HTTP: both operations in each SOAP version and bare, the
checks of content type and action, faults with the reader's place, fault files,
the WSDL with its address, the limits, the access log and a prompt stop.

  serve_test.py WIXML EXAMPLES_DIR
"""

import os
import re
import socket
import subprocess
import sys
import tempfile
import threading
import time
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from serve_fixture import (ACTION, SOAP11, SOAP12, TEXT_XML, WI, Serve, example_message, raw_exchange,  # noqa: E402
                           replies_directory)

REQUEST = {"load": "LoadWorkInstructionDocInput", "save": "SaveWorkInstructionDocInput"}
REPLY = {"load": "LoadedObjectsResponse", "save": "SavedObjectsResponse"}
XSI = "http://www.w3.org/2001/XMLSchema-instance"

wixml, examples = sys.argv[1], sys.argv[2]
failures = []


def example(name):
    return example_message(examples, name)


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


def enveloped(message, version):
    uri = SOAP11 if version == "1.1" else SOAP12
    return f'<?xml version="1.0" encoding="UTF-8"?>\n<e:Envelope xmlns:e="{uri}">\n<e:Body>\n{message}</e:Body>\n</e:Envelope>\n'


def soap12_type(action=None):
    return "application/soap+xml; charset=utf-8" + (f'; action="{action}"' if action else "")


def wrap(message, version):
    return message if version == "bare" else enveloped(message, version)


def headers_for(version, operation):
    """Content type and SOAPAction as the WSDL binds the operation."""
    if version == "1.2":
        return soap12_type(ACTION[operation]), None
    return TEXT_XML, (f'"{ACTION[operation]}"' if version == "1.1" else None)


LIBRARY_READ_ERROR = "{urn:kvsoamestypes:service}readError"


def fault_of(body):
    """(version, code, reason, [(line, column)]) of a SOAP fault, or None."""
    try:
        root = ET.fromstring(body)
    except ET.ParseError:
        return None
    for uri, version in ((SOAP11, "1.1"), (SOAP12, "1.2")):
        fault = root.find(f"{{{uri}}}Body/{{{uri}}}Fault")
        if fault is None:
            continue
        if version == "1.1":
            code, reason = fault.findtext("faultcode"), fault.findtext("faultstring")
        else:
            code = fault.findtext(f"{{{uri}}}Code/{{{uri}}}Value")
            reason = fault.findtext(f"{{{uri}}}Reason/{{{uri}}}Text")
        # The library's place of a read error, or the tool's of each schema violation.
        places = [(int(e.get("line")), int(e.get("column"))) for name in (LIBRARY_READ_ERROR, "{urn:wixml:serve}error")
                  for e in fault.iter(name)]
        detail = fault.find("detail") if version == "1.1" else fault.find(f"{{{uri}}}Detail")
        text = "".join(detail.itertext()) if detail is not None else ""
        return version, code, reason, places, text
    return None


def same_message(answer, expected_file, what):
    """The answer holds the example's message, as wixml diff sees it (envelope or not)."""
    with tempfile.NamedTemporaryFile("wb", suffix=".xml", delete=False) as out:
        out.write(answer)
    try:
        result = subprocess.run([wixml, "diff", out.name, os.path.join(examples, expected_file)],
                                capture_output=True, text=True, timeout=60)
        check(result.returncode == 0, f"{what}: the answer differs from {expected_file}: {result.stdout}{result.stderr}")
    finally:
        os.unlink(out.name)


# ---- both operations in each version ---------------------------------------------
def test_operations(serve):
    for operation in ("load", "save"):
        for version in ("1.1", "1.2", "bare"):
            what = f"{operation} over {version}"
            content_type, action = headers_for(version, operation)
            status, headers, body = serve.post(wrap(example(f"{operation}-request.xml"), version), content_type, action)
            if not check(status == 200, f"{what}: HTTP {status}: {body[:300]!r}"):
                continue
            expected_type = "application/soap+xml" if version == "1.2" else "text/xml"
            check(headers.get("content-type", "").startswith(expected_type), f"{what}: Content-Type {headers}")
            root = ET.fromstring(body)
            envelope = {"1.1": f"{{{SOAP11}}}Envelope", "1.2": f"{{{SOAP12}}}Envelope", "bare": f"{{{WI}}}{REPLY[operation]}"}
            check(root.tag == envelope[version], f"{what}: the answer's root is {root.tag}")
            same_message(body, f"{operation}-reply.xml", what)


# ---- refusals: (name, body, content type, SOAPAction, status, fault version, code, reason pattern, place) -------
def refusal_cases():
    save = example("save-request.xml")
    load = example("load-request.xml")
    broken = load.replace("<wi:targetObject uid=\"Op0020Gearbox\"/>", "<wi:targetObject uid=\"Op0020Gearbox\">")
    # The unclosed element shows at the end tag of its parent, on the next line.
    broken_line = load[: load.index('uid="Op0020Gearbox"')].count("\n") + 2
    unknown = f'<wi:DeleteWorkInstructionDocInput xmlns:wi="{WI}"/>'
    deep = f'<wi:LoadWorkInstructionDocInput xmlns:wi="{WI}">' + "<x>" * 40 + "</x>" * 40 + "</wi:LoadWorkInstructionDocInput>"
    twice = load.replace('<wi:targetObject uid="Op0010Gearbox"/>',
                         '<wi:targetObject uid="Op0010Gearbox"/><wi:targetObject uid="Op0011Gearbox"/>')
    twice_line = load[: load.index('uid="Op0010Gearbox"')].count("\n") + 1
    nil = load.replace('<wi:targetObject uid="Op0010Gearbox"/>',
                       f'<wi:targetObject xmlns:xsi="{XSI}" xsi:nil="true"/>')
    return [
        ("wrong content type", save, "application/json", f'"{ACTION["save"]}"', 415, "1.1", "Client", r"application/json", None),
        ("no content type", save, None, None, 415, "1.1", "Client", r"no Content-Type", None),
        ("SOAP 1.2 as text/xml", enveloped(save, "1.2"), TEXT_XML, f'"{ACTION["save"]}"', 415, "1.2", "Sender",
         r"SOAP 1\.2 envelope", None),
        ("SOAP 1.1 as soap+xml", enveloped(save, "1.1"), soap12_type(), None, 415, "1.1", "Client", r"SOAP 1\.1 envelope", None),
        ("SOAP 1.1 without SOAPAction", enveloped(save, "1.1"), TEXT_XML, None, 500, "1.1", "Client", r"no SOAPAction", None),
        ("SOAP 1.1, the other action", enveloped(save, "1.1"), TEXT_XML, f'"{ACTION["load"]}"', 500, "1.1", "Client",
         r"names the load operation", None),
        ("SOAP 1.1, unknown action", enveloped(load, "1.1"), TEXT_XML, '"urn:delete"', 500, "1.1", "Client",
         r"unknown operation.*urn:delete", None),
        ("SOAP 1.2, the other action", enveloped(load, "1.2"), soap12_type(ACTION["save"]), None, 400, "1.2", "Sender",
         r"names the save operation", None),
        ("unreadable, SOAP 1.1", enveloped(broken, "1.1"), TEXT_XML, f'"{ACTION["load"]}"', 500, "1.1", "Client",
         rf"line {broken_line + 3}, column \d+", broken_line + 3),
        ("unreadable, SOAP 1.2", enveloped(broken, "1.2"), soap12_type(ACTION["load"]), None, 400, "1.2", "Sender",
         rf"line {broken_line + 3}, column \d+", broken_line + 3),
        ("unreadable, bare", broken, TEXT_XML, None, 500, "1.1", "Client", rf"line {broken_line}, column \d+", broken_line),
        ("not XML at all", "this is no XML", TEXT_XML, None, 500, "1.1", "Client", r"line 1, column 1", 1),
        ("unknown operation", enveloped(unknown, "1.2"), soap12_type(), None, 400, "1.2", "Sender",
         r"unknown operation.*DeleteWorkInstructionDocInput", None),
        ("over the reader's depth limit", deep, TEXT_XML, None, 500, "1.1", "Client", r"deeper than the limit of 32", 1),
        ("schema violation under --strict", enveloped(twice, "1.1"), TEXT_XML, f'"{ACTION["load"]}"', 500, "1.1", "Client",
         r"breaks the schema.*targetObject", twice_line + 3),
        ("xsi:nil under --strict", enveloped(nil, "1.1"), TEXT_XML, f'"{ACTION["load"]}"', 500, "1.1", "Client",
         r"breaks the schema.*not 'nillable'", twice_line + 3),
        ("a fault sent as request", enveloped(f'<e:Fault xmlns:e="{SOAP11}"><faultcode>e:Client</faultcode>'
                                             '<faultstring>no</faultstring></e:Fault>', "1.1"), TEXT_XML, None, 500, "1.1",
         "Client", r"unknown operation", None),
    ]


def test_refusals(serve):
    for name, body, content_type, action, status, version, code, reason, line in refusal_cases():
        got_status, headers, answer = serve.post(body, content_type, action)
        check(got_status == status, f"{name}: HTTP {got_status}, expected {status}: {answer[:300]!r}")
        fault = fault_of(answer)
        if not check(fault is not None, f"{name}: no SOAP fault in {answer[:300]!r}"):
            continue
        got_version, got_code, got_reason, places, _ = fault
        check(got_version == version, f"{name}: a SOAP {got_version} fault, expected {version}")
        check((got_code or "").endswith(":" + code), f"{name}: fault code {got_code}, expected {code}")
        check(re.search(reason, got_reason or "") is not None, f"{name}: reason {got_reason!r} does not match {reason!r}")
        if line is not None:
            check(any(l == line and c > 0 for l, c in places), f"{name}: detail places {places}, expected line {line}")


# ---- the service description ----------------------------------------------------
def test_description(serve):
    base = serve.url
    status, headers, body = serve.request("GET", "/WorkInstructions?wsdl")
    if check(status == 200, f"?wsdl: HTTP {status}"):
        text = body.decode()
        locations = re.findall(r'<soap(?:12)?:address\s+location="([^"]*)"', text)
        check(locations == [base, base], f"?wsdl: addresses {locations}, expected {base} twice")
        imports = re.findall(r'schemaLocation="([^"]*)"', text)
        check(imports == [f"{base}?xsd=WorkInstructions.xsd"], f"?wsdl: imports {imports}")
    status, _, body = serve.request("GET", "/?xsd=WorkInstructions.xsd")
    if check(status == 200, f"?xsd=WorkInstructions.xsd: HTTP {status}"):
        imports = re.findall(r'schemaLocation="([^"]*)"', body.decode())
        check(imports == [f"{base}?xsd=Base.xsd"], f"WorkInstructions.xsd: imports {imports}")
    status, _, body = serve.request("GET", "/?xsd=Base.xsd")
    check(status == 200 and b"targetNamespace" in body, f"?xsd=Base.xsd: HTTP {status}")
    for path, expected in (("/?xsd=../../etc/passwd", 404), ("/", 404)):
        status, _, _ = serve.request("GET", path)
        check(status == expected, f"GET {path}: HTTP {status}, expected {expected}")
    status, headers, _ = serve.request("PUT", "/", b"x")
    check(status == 405 and "POST" in headers.get("allow", ""), f"PUT: HTTP {status}, Allow {headers.get('allow')}")


# ---- limits ---------------------------------------------------------------------------
def test_limits(serve, max_body):
    # Declared too long: refused at once, though nearly all of the body never comes.
    started = time.monotonic()
    answer, _ = raw_exchange(serve, b"POST / HTTP/1.1\r\nHost: x\r\nContent-Type: text/xml\r\nContent-Length: 100000000\r\n\r\n<a>")
    check(answer.startswith(b"HTTP/1.1 413"), f"a declared 100 MB body: {answer[:80]!r}")
    check(time.monotonic() - started < 3, "a declared 100 MB body: the 413 took over 3 s")
    status, _, _ = serve.post(b"<a>" + b" " * (max_body + 1) + b"</a>", TEXT_XML)
    check(status == 413, f"a body one byte over --max-body: HTTP {status}")
    status, _, _ = serve.post(wrap(example("load-request.xml"), "bare"), TEXT_XML)
    check(status == 200, f"a body under --max-body: HTTP {status}")
    # Chunked, so no length is declared: still refused.
    chunk = b"<a>" + b" " * (max_body) + b"</a>"
    data = (b"POST / HTTP/1.1\r\nHost: x\r\nContent-Type: text/xml\r\nTransfer-Encoding: chunked\r\n\r\n" +
            f"{len(chunk):x}\r\n".encode() + chunk + b"\r\n0\r\n\r\n")
    answer, _ = raw_exchange(serve, data)
    check(answer.startswith(b"HTTP/1.1 413"), f"a chunked body over --max-body: {answer[:80]!r}")
    answer, _ = raw_exchange(serve, b"GET /?wsdl HTTP/1.1\r\nHost: x\r\nX-Big: " + b"y" * 40000 + b"\r\n\r\n")
    check(re.match(rb"HTTP/1\.1 4\d\d", answer) is not None, f"40 KB of headers: {answer[:80]!r}")


def test_timeouts(wixml_options):
    # Idle: a connection that says nothing is closed after the idle timeout. A request that
    # trickles in is cut by the read timeout: serve_attack_test.py, with the other slow clients.
    with Serve(wixml, "--read-timeout", "1", "--idle-timeout", "1", *wixml_options) as serve:
        started = time.monotonic()
        answer, _ = raw_exchange(serve, b"", seconds=6)
        idle = time.monotonic() - started
        check(answer == b"" and 0.5 < idle < 4, f"an idle connection lasted {idle:.1f} s with --idle-timeout 1")


def test_gone_mid_body():
    # Clients that send part of a declared body and hang up, all of it arriving
    # before the server reads (they wait behind two idle connections that fill
    # the limit): each slot must come free when its client goes, not after the
    # idle timeout, or a few of them lock everyone else out.
    clients = 0
    with Serve(wixml, "--threads", "1", "--max-connections", "2", "--idle-timeout", "30") as serve:
        idle = [socket.create_connection((serve.host, serve.port)) for _ in range(2)]
        time.sleep(0.3)
        head = b"POST / HTTP/1.1\r\nHost: x\r\nContent-Type: text/xml\r\nContent-Length: 1000000\r\n\r\n"
        for part in (b"", b"<a>", b"<a>" + b" " * 20000, b"<a>" + b" " * 65536):
            for _ in range(3):
                with socket.create_connection((serve.host, serve.port)) as sock:
                    sock.sendall(head + part)
                clients += 1
        for sock in idle:
            sock.close()
        started = time.monotonic()
        try:
            status, _, _ = serve.post(wrap(example("load-request.xml"), "bare"), TEXT_XML)
        except OSError as error:
            status = error
        waited = time.monotonic() - started
        check(status == 200 and waited < 3, f"after {clients} clients gone mid-body: {status} in {waited:.1f} s")
        time.sleep(2)  # the last of them may still be read; far less than the idle timeout
        serve.stop()
    gone = serve.log.count(" cut:client-gone ")
    check(gone == clients, f"{gone} of {clients} clients gone mid-body logged as cut:client-gone: {serve.log!r}")


def resident_kb(pid):
    with open(f"/proc/{pid}/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmRSS:"))


def test_memory_given_back():
    # Large bodies, several at once, read and refused: once they are gone the
    # server must not keep their memory. A sanitizer's allocator keeps freed
    # memory in quarantine on purpose, so there the figure says nothing.
    if "ASAN_OPTIONS" in os.environ or "TSAN_OPTIONS" in os.environ:
        print("skipped: resident memory under a sanitizer's allocator")
        return
    with Serve(wixml, "--threads", "2") as serve:
        body = b"<a>" + b" " * (6 << 20) + b"</a>"
        data = f"POST / HTTP/1.1\r\nHost: x\r\nContent-Type: text/xml\r\nContent-Length: {len(body)}\r\n\r\n".encode() + body
        before = resident_kb(serve.process.pid)
        for _ in range(3):
            threads = [threading.Thread(target=raw_exchange, args=(serve, data)) for _ in range(4)]
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join()
        grown = (resident_kb(serve.process.pid) - before) / 1024
        check(grown < 3, f"resident memory grew by {grown:.0f} MB after twelve 6 MB bodies and stayed")


def test_connection_limit():
    # One connection at most: a second waits until the first closes, then is answered.
    with Serve(wixml, "--threads", "1", "--max-connections", "1") as serve:
        first = socket.create_connection((serve.host, serve.port))
        time.sleep(0.2)
        with socket.create_connection((serve.host, serve.port), timeout=1) as second:
            second.sendall(b"GET /?wsdl HTTP/1.1\r\nHost: x\r\n\r\n")
            try:
                early = second.recv(16)
            except socket.timeout:
                early = None
            check(early is None, f"a connection over --max-connections 1 was answered at once: {early!r}")
            first.close()
            second.settimeout(5)
            check(second.recv(16).startswith(b"HTTP/1.1 200"), "the waiting connection was not answered once the first closed")


# ---- fault files -----------------------------------------------------------------------
def test_fault_file():
    fault = (f'<soapenv:Envelope xmlns:soapenv="{SOAP11}"><soapenv:Body><soapenv:Fault>'
             "<faultcode>soapenv:Server</faultcode><faultstring>Work instruction is checked out by another user"
             "</faultstring><detail><lock>jdoe since 08:00</lock></detail></soapenv:Fault></soapenv:Body></soapenv:Envelope>")
    with replies_directory(examples, save_fault=fault) as directory, Serve(wixml, "--replies", directory) as serve:
        for version, code in (("1.1", "Server"), ("1.2", "Receiver"), ("bare", "Server")):
            content_type, action = headers_for(version, "save")
            status, _, body = serve.post(wrap(example("save-request.xml"), version), content_type, action)
            fault = fault_of(body)
            what = f"save-fault.xml over {version}"
            check(status == 500, f"{what}: HTTP {status}")
            if check(fault is not None, f"{what}: no fault in {body[:200]!r}"):
                check(fault[1].endswith(":" + code), f"{what}: code {fault[1]}")
                check(fault[2] == "Work instruction is checked out by another user", f"{what}: reason {fault[2]!r}")
                check(fault[4] == "jdoe since 08:00", f"{what}: detail {fault[4]!r}")
        content_type, action = headers_for("1.1", "load")
        status, _, _ = serve.post(wrap(example("load-request.xml"), "1.1"), content_type, action)
        check(status == 200, f"load beside save-fault.xml: HTTP {status}")


# ---- start-up refusals ---------------------------------------------------------------------
def test_startup():
    cases = [
        (["--port", "70000"], r"--port wants"),
        (["--threads", "0"], r"--threads wants"),
        (["--max-body", "2000000", "--max-body-memory", "1000000"], r"--max-body-memory 1000000 is below --max-body"),
        (["--replies", "/nonexistent-directory"], r"load-reply\.xml"),
        (["--host", "no.such.host.invalid"], r"cannot resolve"),
        (["files"], r"no files"),
    ]
    for options, message in cases:
        result = subprocess.run([wixml, "serve", "--port", "0", *options], capture_output=True, text=True, timeout=30)
        check(result.returncode == 2 and re.search(message, result.stderr),
              f"serve {' '.join(options)}: exit {result.returncode}, {result.stderr!r}")
    with replies_directory(examples, load_reply=example("save-reply.xml")) as directory:
        result = subprocess.run([wixml, "serve", "--port", "0", "--replies", directory], capture_output=True, text=True,
                                timeout=30)
        check(result.returncode == 2 and "not the load reply" in result.stderr,
              f"a save reply as load-reply.xml: exit {result.returncode}, {result.stderr!r}")


# ---- a prompt stop --------------------------------------------------------------------------
def test_stop():
    for sig in ("SIGTERM", "SIGINT"):
        with Serve(wixml) as serve:
            slow = socket.create_connection((serve.host, serve.port))
            slow.sendall(b"POST / HTTP/1.1\r\nHost: x\r\nContent-Type: text/xml\r\nContent-Length: 1000\r\n\r\n<a>")
            idle = socket.create_connection((serve.host, serve.port))
            time.sleep(0.2)
            import signal as signals
            status = serve.stop(getattr(signals, sig), timeout=10)
            slow.close()
            idle.close()
            check(status == 0, f"{sig}: exit status {status}")
            check(serve.stop_seconds < 2.5, f"{sig} with a slow client: stopped after {serve.stop_seconds:.1f} s")
            check(f"{sig}, stopping" in serve.log, f"{sig}: log {serve.log!r}")


def main():
    max_body = 65536
    with Serve(wixml, "--strict", "--max-body", str(max_body), "--max-depth", "32", "--threads", "2") as serve:
        test_operations(serve)
        test_refusals(serve)
        test_description(serve)
        test_limits(serve, max_body)
        serve.stop()
    lines = serve.log.splitlines()
    line = re.compile(r"^(GET|POST|PUT|-) (load|save|wsdl|xsd|-) (\d{3}|cut:[a-z-]+)\S* received \d+ sent \d+ bytes in \d+ us peer \S+ user \S+ id \S+$")
    access = [l for l in lines if line.match(l)]
    check(len(access) >= 6 + len(refusal_cases()) + 6, f"{len(access)} access-log lines: {lines}")
    for expected in (r"^POST save 200 received \d+ sent [1-9]\d* bytes", r"^POST load 500 ", r"^GET wsdl 200 ",
                     r"^POST - 413 ", r"^POST - 415 "):
        check(any(re.match(expected, l) for l in lines), f"no access-log line like {expected!r}")
    test_timeouts([])
    test_gone_mid_body()
    test_memory_given_back()
    test_connection_limit()
    test_fault_file()
    test_startup()
    test_stop()

    for failure in failures:
        print("FAIL:", failure)
    if failures:
        return 1
    print(f"wixml serve: operations, {len(refusal_cases())} refusals, the WSDL, limits, timeouts, clients gone mid-body, memory given back, "
          "the connection limit, "
          "fault files, "
          "start-up refusals and stopping all as expected")
    return 0


if __name__ == "__main__":
    sys.exit(main())
