#!/usr/bin/env python3
"""`wixml serve` by SOAP's fault rules: codes (dotted SOAP 1.1 ones, Subcodes,
MustUnderstand, VersionMismatch) with their header blocks and HTTP statuses,
fault files kept whole, the spellings of infinity and NaN peers write, a
--strict fault of bounded size, and replies directories it cannot use.

  serve_soap_test.py WIXML EXAMPLES_DIR
"""

import os
import re
import subprocess
import sys
import xml.dom.minidom

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from serve_fixture import ACTION, SOAP11, SOAP12, TEXT_XML, WI, Serve, example_message, replies_directory  # noqa: E402


wixml, examples = sys.argv[1], sys.argv[2]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


def example(name):
    return example_message(examples, name)


def enveloped(message, version, header=""):
    uri = SOAP11 if version == "1.1" else SOAP12
    return f'<e:Envelope xmlns:e="{uri}">{header}<e:Body>{message}</e:Body></e:Envelope>'


def headers_for(version, operation):
    if version == "1.2":
        return f'application/soap+xml; charset=utf-8; action="{ACTION[operation]}"', None
    return TEXT_XML, (f'"{ACTION[operation]}"' if version == "1.1" else None)


def resolve(element, qname):
    """{uri}local for a QName written in element's text or attribute."""
    prefix, _, local = qname.rpartition(":")
    attribute = f"xmlns:{prefix}" if prefix else "xmlns"
    node = element
    while node is not None and node.nodeType == node.ELEMENT_NODE:
        if node.hasAttribute(attribute):
            return "{" + node.getAttribute(attribute) + "}" + local
        node = node.parentNode
    return local if not prefix else qname


def children(element, uri=None, name=None):
    return [c for c in element.childNodes if c.nodeType == c.ELEMENT_NODE
            and (name is None or c.localName == name) and (uri is None or c.namespaceURI == uri)]


def text(element):
    return "".join(n.data for n in element.childNodes if n.nodeType == n.TEXT_NODE).strip()


def read_fault(body):
    """version, [codes as {uri}local], reason, detail element, header blocks."""
    root = xml.dom.minidom.parseString(body).documentElement
    uri = root.namespaceURI
    version = {SOAP11: "1.1", SOAP12: "1.2"}[uri]
    header = children(root, uri, "Header")
    fault = children(children(root, uri, "Body")[0], uri, "Fault")[0]
    part = (lambda e, n: children(e, None, n)) if version == "1.1" else (lambda e, n: children(e, uri, n.capitalize()))
    codes, level = [], [fault] if version == "1.2" else []
    while level and part(level[0], "code" if level[0] is fault else "subcode"):
        level = part(level[0], "code" if level[0] is fault else "subcode")
        codes.append(resolve(part(level[0], "value")[0], text(part(level[0], "value")[0])))
    if version == "1.1":
        codes = [resolve(part(fault, "faultcode")[0], text(part(fault, "faultcode")[0]))]
        reason = text(part(fault, "faultstring")[0])
    else:
        reason = text(children(part(fault, "reason")[0], uri, "Text")[0])
    detail = part(fault, "detail")
    return version, codes, reason, detail[0] if detail else None, children(header[0]) if header else []


# ---- the fault rules: one row per rule and version ---------------------------------------
DOTTED_FAULT = (f'<soapenv:Envelope xmlns:soapenv="{SOAP11}"><soapenv:Body><soapenv:Fault>'
                "<faultcode>soapenv:Client.Authentication</faultcode><faultstring>Log in first</faultstring>"
                "<detail><code>214003</code><hint lang=\"en\">expired</hint></detail>"
                "</soapenv:Fault></soapenv:Body></soapenv:Envelope>")
SUBCODE_FAULT = (f'<env:Envelope xmlns:env="{SOAP12}"><env:Body><env:Fault><env:Code><env:Value>env:Receiver</env:Value>'
                 '<env:Subcode><env:Value xmlns:app="urn:app">app:Locked</env:Value></env:Subcode></env:Code>'
                 '<env:Reason><env:Text xml:lang="en">checked out</env:Text></env:Reason>'
                 '<env:Detail><app:owner xmlns:app="urn:app" since="08:00">jdoe</app:owner></env:Detail>'
                 "</env:Fault></env:Body></env:Envelope>")


def mandatory_block(version, role=""):
    uri = SOAP11 if version == "1.1" else SOAP12
    return (f'<e:Header><h:session xmlns:h="urn:h" xmlns:e="{uri}" e:mustUnderstand="1"{role}>7</h:session>'
            f'<h:trace xmlns:h="urn:h" xmlns:e="{uri}" e:mustUnderstand="true"/></e:Header>')


def summary(elements):
    """Each element and its descendants as "{uri}name attr=value text", QName attributes resolved."""
    out = []
    for e in elements:
        words = [(f"{{{e.namespaceURI}}}" if e.namespaceURI else "") + e.localName]
        words += [f"{k}={resolve(e, v) if k == 'qname' else v}" for k, v in sorted(e.attributes.items())
                  if not k.startswith("xmlns")]
        out += [" ".join(words + ([text(e)] if text(e) else []))] + summary(children(e))
    return out


LOAD, SAVE = example("load-request.xml"), example("save-request.xml")
# zeep and suds write inf, -inf, nan; node-soap Infinity.
PEER_NUMBERS = (SAVE.replace('value="24.5"', 'value="inf"').replace("<wi:value>-0.125</wi:value>", "<wi:value>-Infinity</wi:value>")
                .replace("<wi:value>2.75</wi:value>", "<wi:value>NAN</wi:value>").replace('value="1.25"', 'value="-inf"'))

NOT_UNDERSTOOD = f"{{{SOAP12}}}NotUnderstood qname={{urn:h}}"
SUPPORTED = f"{{{SOAP12}}}SupportedEnvelope qname="

# (name, replies files, operation, version, body, status, codes, reason pattern, detail, header blocks)
FAULT_RULES = [
    ("dotted SOAP 1.1 code over SOAP 1.1", {"load_fault": DOTTED_FAULT}, "load", "1.1", None, 500,
     [f"{{{SOAP11}}}Client.Authentication"], r"^Log in first$", ["code 214003", "hint lang=en expired"], []),
    ("dotted SOAP 1.1 code over SOAP 1.2", {"load_fault": DOTTED_FAULT}, "load", "1.2", None, 400,
     [f"{{{SOAP12}}}Sender", "Authentication"], r"^Log in first$", ["code 214003", "hint lang=en expired"], []),
    # The subcode keeps the namespace declared on its Value; SOAP 1.1 carries a
    # Receiver's own code, namespace and all, as its faultcode.
    ("SOAP 1.2 Subcode over SOAP 1.2", {"save_fault": SUBCODE_FAULT}, "save", "1.2", None, 500,
     [f"{{{SOAP12}}}Receiver", "{urn:app}Locked"], r"^checked out$", ["{urn:app}owner since=08:00 jdoe"], []),
    ("SOAP 1.2 Subcode over SOAP 1.1", {"save_fault": SUBCODE_FAULT}, "save", "1.1", None, 500,
     ["{urn:app}Locked"], r"^checked out$", ["{urn:app}owner since=08:00 jdoe"], []),
    ("mandatory header over SOAP 1.1", {}, "load", "1.1", enveloped(LOAD, "1.1", mandatory_block("1.1")), 500,
     [f"{{{SOAP11}}}MustUnderstand"], r"\{urn:h\}session.*must be understood", [], []),
    ("mandatory header over SOAP 1.2", {}, "load", "1.2", enveloped(LOAD, "1.2", mandatory_block("1.2")), 500,
     [f"{{{SOAP12}}}MustUnderstand"], r"\{urn:h\}session.*must be understood", [],
     [NOT_UNDERSTOOD + "session", NOT_UNDERSTOOD + "trace"]),
    ("envelope of an unknown version as text/xml", {}, "load", "1.1", enveloped(LOAD, "1.1").replace(SOAP11, "urn:soap-3"),
     500, [f"{{{SOAP11}}}VersionMismatch"], r"urn:soap-3", [], []),
    ("envelope of an unknown version as soap+xml", {}, "load", "1.2", enveloped(LOAD, "1.2").replace(SOAP12, "urn:soap-3"),
     500, [f"{{{SOAP12}}}VersionMismatch"], r"urn:soap-3", [],
     [f"{{{SOAP12}}}Upgrade", f"{SUPPORTED}{{{SOAP12}}}Envelope", f"{SUPPORTED}{{{SOAP11}}}Envelope"]),
    ("unknown operation over SOAP 1.2", {}, "load", "1.2", enveloped(f'<wi:Delete xmlns:wi="{WI}"/>', "1.2"), 400,
     [f"{{{SOAP12}}}Sender"], r"unknown operation", [], []),
    ("unreadable over SOAP 1.2", {}, "load", "1.2", enveloped(LOAD.replace("</wi:loadedInfo>", "", 1), "1.2"), 400,
     [f"{{{SOAP12}}}Sender"], r"line \d+", None, []),
    ("infinity and NaN as peers write them", {}, "save", "1.1", enveloped(PEER_NUMBERS, "1.1"), 200, None, None, None, None),
]


def test_fault_rules():
    for name, files, operation, version, body, status, codes, reason, detail, header in FAULT_RULES:
        content_type, action = headers_for(version, operation)
        body = body or enveloped(example(f"{operation}-request.xml"), version)
        with replies_directory(examples, **files) as directory, Serve(wixml, "--replies", directory) as serve:
            got_status, _, answer = serve.post(body, content_type, action)
        check(got_status == status, f"{name}: HTTP {got_status}, expected {status}: {answer[:400]!r}")
        if codes is None:
            continue
        try:
            got = read_fault(answer)
        except Exception as error:  # noqa: BLE001 -- any unreadable answer is the failure reported
            check(False, f"{name}: no SOAP fault ({error}) in {answer[:400]!r}")
            continue
        got_detail = summary(children(got[3])) if got[3] else []
        check(got[0] == version and got[1] == codes, f"{name}: SOAP {got[0]}, codes {got[1]}, expected {codes}")
        check(re.search(reason, got[2]) is not None, f"{name}: reason {got[2]!r} does not match {reason!r}")
        check(detail is None or got_detail == detail, f"{name}: detail {got_detail}, expected {detail}")
        check(summary(got[4]) == header, f"{name}: header blocks {summary(got[4])}, expected {header}")


def test_strict_numbers():
    # The schema's own forms only, as a peer binding generated from it reads them.
    with Serve(wixml, "--strict") as serve:
        content_type, action = headers_for("1.1", "save")
        status, _, answer = serve.post(enveloped(PEER_NUMBERS, "1.1"), content_type, action)
    check(status == 500 and b"breaks the schema" in answer and b"inf" in answer,
          f"--strict with inf: HTTP {status}: {answer[:300]!r}")


def resident_kb(pid):
    with open(f"/proc/{pid}/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmRSS:"))


def test_strict_fault_bounded():
    # Every element breaks the schema; the fault names the first 20 and counts the rest.
    count = 200000
    body = (f'<wi:LoadWorkInstructionDocInput xmlns:wi="{WI}">' + "<wi:loadedInfo/>" * count +
            "</wi:LoadWorkInstructionDocInput>")
    with Serve(wixml, "--strict") as serve:
        before = resident_kb(serve.process.pid)
        status, _, answer = serve.post(body, TEXT_XML)
        grown = (resident_kb(serve.process.pid) - before) >> 10
    check(status == 500 and len(answer) < 64 * 1024, f"--strict, {count} violations: HTTP {status}, {len(answer)} bytes")
    # A sanitizer's allocator keeps freed memory on purpose.
    check(grown < 32 or "ASAN_OPTIONS" in os.environ, f"--strict, {count} violations: {grown} MB stayed resident")
    try:
        _, _, reason, detail, _ = read_fault(answer)
    except Exception as error:  # noqa: BLE001
        check(False, f"--strict, {count} violations: no fault ({error}): {answer[:300]!r}")
        return
    check(re.match(rf"the request breaks the schema in {count} places, first at line 1, column \d+: ", reason),
          f"--strict, {count} violations: reason {reason[:300]!r}")
    entries = children(detail, "urn:wixml:serve", "error") if detail else []
    more = children(detail, "urn:wixml:serve", "more") if detail else []
    check(len(entries) == 20 and len(more) == 1 and more[0].getAttribute("count") == str(count - 20),
          f"--strict, {count} violations: {len(entries)} entries, more {[m.toxml() for m in more]}")


# ---- replies directories it cannot use: each refused at start-up, named -------------------------
def write(path, text):
    with open(path, "w") as out:
        out.write(text)


# (problem, making it in the directory d, what the refusal says)
REPLIES_PROBLEMS = [
    ("dangling link", lambda d: os.symlink(f"{d}/gone.xml", f"{d}/load-fault.xml"),
     r"load-fault\.xml: a link to .*gone\.xml, which does not exist"),
    ("not well-formed", lambda d: write(f"{d}/load-reply.xml", "<a><b></a>"), r"load-reply\.xml:1:\d+: .*mismatched tag"),
    ("directory", lambda d: (os.unlink(f"{d}/load-reply.xml"), os.mkdir(f"{d}/load-reply.xml")),
     r"load-reply\.xml: is a directory"),
    ("FIFO", lambda d: os.mkfifo(f"{d}/load-fault.xml"), r"load-fault\.xml: is not a regular file"),
    ("link to a device", lambda d: os.symlink("/dev/zero", f"{d}/load-fault.xml"), r"load-fault\.xml: is not a regular file"),
    ("too large", lambda d: os.truncate(f"{d}/load-reply.xml", 17 << 20), r"load-reply\.xml: is larger than 16 MiB"),
    ("only a fault file", lambda d: (os.unlink(f"{d}/load-reply.xml"), os.unlink(f"{d}/save-reply.xml"),
                                     write(f"{d}/save-fault.xml", DOTTED_FAULT)),
     r"holds neither load-reply\.xml nor load-fault\.xml; a replies directory holds load-reply\.xml or load-fault\.xml"
     r".*bundled replies in \S+ may be copied"),
]


def test_replies_problems():
    for problem, make, message in REPLIES_PROBLEMS:
        with replies_directory(examples) as directory:
            make(directory)
            try:
                result = subprocess.run([wixml, "serve", "--port", "0", "--replies", directory], capture_output=True,
                                        text=True, timeout=20)
            except subprocess.TimeoutExpired:
                check(False, f"replies, {problem}: not refused at start-up (still running after 20 s)")
                continue
        check(result.returncode == 2 and re.search(message, result.stderr) is not None,
              f"replies, {problem}: exit {result.returncode}, {result.stderr!r}")


def main():
    test_fault_rules()
    test_strict_numbers()
    test_strict_fault_bounded()
    test_replies_problems()
    for failure in failures:
        print("FAIL:", failure)
    if failures:
        return 1
    print(f"wixml serve: {len(FAULT_RULES)} fault rules, --strict numbers and bound, "
          f"{len(REPLIES_PROBLEMS)} replies problems as expected")
    return 0


if __name__ == "__main__":
    sys.exit(main())
