#!/usr/bin/env python3
"""`wixml serve` against hostile HTTP peers: framing that two readers could take
two ways, clients trickling any part of a request, crowds of large bodies
under an address-space limit, bodies sent whole before a 413 is read, a stop
while answers are on their way, a low descriptor limit, and request bytes
that must not reach the access log raw.

  serve_attack_test.py WIXML EXAMPLES_DIR
"""

import http.client
import os
import re
import resource
import signal
import socket
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from serve_fixture import Serve, raw_exchange  # noqa: E402

WI = "http://velmora.com/Schemas/MES/2010-09/WorkInstructions"
wixml, examples = sys.argv[1], sys.argv[2]
failures = []
SANITIZED = "ASAN_OPTIONS" in os.environ or "TSAN_OPTIONS" in os.environ


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


def load_request():
    with open(os.path.join(examples, "load-request.xml"), "rb") as source:
        return source.read()


def many_operations(size):
    """A valid load request of about size bytes, slow to check under --strict."""
    item = b'<wi:loadedInfo><wi:targetContext uid="a"/><wi:targetObject uid="b"/></wi:loadedInfo>'
    head, tail = f'<wi:LoadWorkInstructionDocInput xmlns:wi="{WI}">'.encode(), b"</wi:LoadWorkInstructionDocInput>"
    return head + item * (size // len(item)) + tail


def post_head(length=None, extra=b""):
    framing = b"Transfer-Encoding: chunked\r\n" if length is None else f"Content-Length: {length}\r\n".encode()
    return b"POST / HTTP/1.1\r\nHost: x\r\nContent-Type: text/xml\r\n" + framing + extra + b"\r\n"


# ---- framing: (name, request, status); each refused request is answered once and its connection closed ----
def framing_cases():
    body = load_request()
    smuggled = b"GET /?wsdl HTTP/1.1\r\nHost: x\r\n\r\n"
    chunked = f"{len(body):x}\r\n".encode() + body + b"\r\n0\r\n\r\n"
    return [
        ("two Content-Lengths", post_head(len(body), f"Content-Length: {len(body)}\r\n".encode()) + body + smuggled, 400),
        ("Content-Length beside chunked", post_head(len(body), b"Transfer-Encoding: chunked\r\n") + chunked + smuggled,
         400),
        ("a folded Transfer-Encoding", post_head(len(body)).replace(b"Content-Length", b"Transfer-Encoding:\r\n chunked\r\nX")
         + chunked, 400),
        ("an unknown coding", post_head(None).replace(b"chunked", b"gzip, chunked") + chunked + smuggled, 501),
        ("chunked twice", post_head(None).replace(b"chunked", b"chunked, chunked") + chunked, 400),
        ("chunked with a tab after it", post_head(None).replace(b"chunked", b"chunked\t") + chunked + smuggled, 400),
        ("Transfer-Encoding in HTTP/1.0", post_head(None).replace(b"HTTP/1.1", b"HTTP/1.0") + chunked, 400),
        ("a space before the colon", post_head(len(body)).replace(b"Content-Length:", b"Content-Length :") + body, 400),
        ("HTTP/1.1 without Host", b"GET /?wsdl HTTP/1.1\r\n\r\n", 400),
        ("HTTP/1.1 with two Hosts", b"GET /?wsdl HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n", 400),
        ("a negative Content-Length", post_head(-1), 400),
        ("a Content-Length past 2^64", post_head(2 ** 64), 413),
        # Refused by the HTTP library before any callback sees them: logged all the same.
        ("a request line over the header limit", b"GET /" + b"a" * 20000 + b" HTTP/1.1\r\nHost: x\r\n\r\n", 414),
        ("an HTTP version it does not speak", b"GET / HTTP/2.5\r\nHost: x\r\n\r\n", 505),
    ]


def test_framing():
    cases = framing_cases()
    with Serve(wixml, "--threads", "1") as serve:
        for name, request, status in cases:
            answer, closed = raw_exchange(serve, request)
            check(answer.startswith(f"HTTP/1.1 {status} ".encode()), f"{name}: {answer[:60]!r}, expected {status}")
            check(closed, f"{name}: the connection was kept after {answer[:20]!r}")
            check(answer.count(b"HTTP/1.1 200") == 0, f"{name}: a request after the first was answered: {answer!r}")
        # Sound framing still works, by length and by chunks.
        for name, request in (("by length", post_head(len(load_request())) + load_request()),
                              ("by chunks", post_head(None) + f"{len(load_request()):x}\r\n".encode() + load_request()
                               + b"\r\n0\r\n\r\n")):
            answer, _ = raw_exchange(serve, request, seconds=1)
            check(answer.startswith(b"HTTP/1.1 200 "), f"a body framed {name}: {answer[:60]!r}")
        serve.stop()
    # Each refusal is one line of the access log with the status sent, libmicrohttpd's own ones too.
    for status in {status for _, _, status in cases}:
        wanted = sum(1 for _, _, s in cases if s == status)
        logged = len(re.findall(rf"^\S+ - {status} received", serve.log, re.MULTILINE))
        check(logged == wanted, f"{logged} access-log lines with {status}, expected {wanted}: {serve.log!r}")


# ---- slow clients: (name, sent at once, trickled a byte at a time) ------------------------------------------
def slow_cases():
    return [
        ("the request line", b"", b"POST / HTTP/1.1\r\n" + b"y" * 100),
        ("the headers", b"POST / HTTP/1.1\r\nHost: x\r\n", b"X-Slow: " + b"y" * 100),
        ("the headers after a first request", b"GET /?wsdl HTTP/1.1\r\nHost: x\r\n\r\n", b"POST / HTTP/1.1\r\n" + b"y" * 100),
        ("a declared body", post_head(1000), b"<" * 1000),
        ("a chunk extension", post_head(None) + b"1;e=", b"x" * 100),
        ("a chunk size", post_head(None), b"0" * 100),
        ("a chunk", post_head(None) + b"64\r\n", b"x" * 100),
        ("a trailer", post_head(None) + b"0\r\nX-T: ", b"y" * 100),
    ]


def trickle(serve, at_once, slowly, gap=0.2, give_up=8):
    """Seconds until the server cut the connection, or None."""
    with socket.create_connection((serve.host, serve.port), timeout=give_up) as sock:
        sock.sendall(at_once)
        started = time.monotonic()
        for byte in slowly:
            try:
                sock.sendall(bytes([byte]))
            except OSError:
                return time.monotonic() - started
            if time.monotonic() - started > give_up:
                return None
            time.sleep(gap)
        return None


def test_slow_clients():
    read_timeout = 1
    with Serve(wixml, "--read-timeout", str(read_timeout), "--idle-timeout", "1") as serve:
        results = {}
        threads = [threading.Thread(target=lambda n=name, a=at_once, s=slowly: results.__setitem__(n, trickle(serve, a, s)))
                   for name, at_once, slowly in slow_cases()]
        for thread in threads:
            thread.start()
        # Meanwhile, others are answered.
        status, _, _ = serve.post(load_request(), "text/xml")
        check(status == 200, f"a request beside the slow clients: HTTP {status}")
        for thread in threads:
            thread.join()
        serve.stop()
    for name, _, _ in slow_cases():
        cut = results.get(name)
        check(cut is not None and cut < read_timeout + 2.5, f"{name} sent a byte at a time: cut after {cut} s")
    cuts = serve.log.count(" cut:read-timeout ")
    check(cuts == len(slow_cases()), f"{cuts} exchanges logged as cut:read-timeout: {serve.log!r}")


# ---- memory for bodies in flight ----------------------------------------------------------------------------
def test_bodies_in_flight():
    # Header-only requests declaring the body limit reserve nothing: under 2 GiB of address space,
    # 300 of them leave the server answering. A sanitizer's shadow memory needs more than that.
    with Serve(wixml, "--max-connections", "400",
               limits={} if SANITIZED else {resource.RLIMIT_AS: 2 << 30}) as serve:
        crowd = []
        for _ in range(300):
            sock = socket.create_connection((serve.host, serve.port))
            sock.sendall(post_head(8 << 20))
            crowd.append(sock)
        time.sleep(0.5)
        status, _, _ = serve.post(load_request(), "text/xml")
        check(status == 200 and serve.process.poll() is None, f"beside 300 declared 8 MiB bodies: HTTP {status}")
        for sock in crowd:
            sock.close()
    # Past the budget, a body is refused with 503 and a time to come back: at once when its declared
    # length cannot fit, or once it has come when it outgrows the room left.
    piece = b"<a>" + b" " * (600 << 10)
    for name, request in (("declared", post_head(1 << 20) + piece),
                          ("chunked", post_head(None) + f"{len(piece):x}\r\n".encode() + piece + b"\r\n0\r\n\r\n")):
        with Serve(wixml, "--max-body", "1048576", "--max-body-memory", str(3 << 19)) as serve:
            first = socket.create_connection((serve.host, serve.port))
            first.sendall(post_head(1 << 20) + piece)
            time.sleep(0.3)
            answer, closed = raw_exchange(serve, request)
            check(answer.startswith(b"HTTP/1.1 503 ") and b"\r\nRetry-After: " in answer and closed,
                  f"a {name} body past --max-body-memory: {answer[:200]!r}")
            first.close()
            time.sleep(0.3)
            status, _, _ = serve.post(load_request(), "text/xml")
            check(status == 200, f"once the budget is free again: HTTP {status}")


# ---- a client that sends its whole body before reading sees the 413 -----------------------------------------
def test_too_large_read():
    with Serve(wixml) as serve:
        body = b"<a>" + b" " * (9 << 20) + b"</a>"
        seen = []
        for _ in range(5):
            connection = http.client.HTTPConnection(serve.host, serve.port, timeout=10)
            try:
                connection.request("POST", "/", body, {"Content-Type": "text/xml"})
                seen.append(connection.getresponse().status)
            except OSError as error:
                seen.append(type(error).__name__)
            finally:
                connection.close()
        check(seen == [413] * 5, f"9 MiB bodies sent before reading got {seen}")


# ---- a stop delivers what is ready and ends within the grace ------------------------------------------------
def test_stop():
    with Serve(wixml, "--strict") as serve:
        # Long enough to answer that SIGTERM comes in the middle, well within the grace.
        body = many_operations(1 << 20)
        started = time.monotonic()
        serve.post(body, "text/xml")
        answering = time.monotonic() - started
        connection = http.client.HTTPConnection(serve.host, serve.port, timeout=10)
        connection.request("POST", "/", body, {"Content-Type": "text/xml"})
        time.sleep(answering / 3)
        serve.process.send_signal(signal.SIGTERM)
        time.sleep(0.1)
        try:
            socket.create_connection((serve.host, serve.port), timeout=1).close()
            late = "accepted"
        except OSError as error:
            late = type(error).__name__
        check(late == "ConnectionRefusedError", f"a connection after SIGTERM: {late}")
        try:
            response = connection.getresponse()
            got = (response.status, len(response.read()))
        except OSError as error:
            got = type(error).__name__
        connection.close()
        serve.stop()
        check(got[0] == 200 and got[1] > 0 if isinstance(got, tuple) else False,
              f"a request being answered at SIGTERM got {got}: {serve.log!r}")
    with Serve(wixml, "--strict", "--max-body", str(64 << 20)) as serve:
        # Checking this takes longer than the grace.
        body = many_operations(32 << 20)
        sock = socket.create_connection((serve.host, serve.port))
        sock.sendall(post_head(len(body)) + body)
        time.sleep(0.2)
        serve.stop()
        sock.close()
        check(serve.exit_status == 0 and serve.stop_seconds < 2.5,
              f"SIGTERM beside a long answer: exit {serve.exit_status} after {serve.stop_seconds:.1f} s")


# ---- few descriptors --------------------------------------------------------------------------------------
def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def test_descriptor_limit():
    with Serve(wixml, "--threads", "2", limits={resource.RLIMIT_NOFILE: 64}) as serve:
        crowd = [socket.create_connection((serve.host, serve.port)) for _ in range(100)]
        before = cpu_seconds(serve.process.pid)
        time.sleep(1)
        spent = cpu_seconds(serve.process.pid) - before
        check(spent < 0.3, f"with every descriptor taken the server spent {spent:.2f} s of CPU in 1 s")
        for sock in crowd:
            sock.close()
        time.sleep(0.3)
        status, _, _ = serve.post(load_request(), "text/xml")
        check(status == 200, f"once the crowd left: HTTP {status}")
        serve.stop()
    check("descriptor limit of 64" in serve.log, f"no word of the descriptor limit: {serve.log!r}")


# ---- the access log: (name, method sent, what the log shows) -------------------------------------------------
def log_cases():
    return [
        ("a terminal escape", b"G\x1b[31mET", r"G\\x1b\[31mET "),
        ("bytes that are not UTF-8", b"G\xff\xfeT", r"G\\xff\\xfeT "),
        ("UTF-8", "GÉT".encode(), r"GÉT "),
        ("12 KB", b"A" * 12000, r"A{64}\.\.\. "),
    ]


def test_access_log():
    with Serve(wixml, "--max-header", "32768") as serve:
        for _, method, _ in log_cases():
            raw_exchange(serve, method + b" / HTTP/1.1\r\nHost: x\r\n\r\n", seconds=1)
        serve.stop()
    for name, _, shown in log_cases():
        check(re.search(rf"^{shown}- 405 received", serve.log, re.MULTILINE), f"{name}: not logged as {shown!r}: {serve.log!r}")
    check("\x1b" not in serve.log and max(map(len, serve.log.splitlines())) < 200, f"raw bytes in the log: {serve.log!r}")


def main():
    for test in (test_framing, test_slow_clients, test_bodies_in_flight, test_too_large_read, test_stop,
                 test_descriptor_limit, test_access_log):
        test()
    for failure in failures:
        print("FAIL:", failure)
    if failures:
        return 1
    print(f"wixml serve: {len(framing_cases())} framings, {len(slow_cases())} slow clients, bodies in flight, the 413 read, "
          f"the stop, few descriptors and {len(log_cases())} log escapes as expected")
    return 0


if __name__ == "__main__":
    sys.exit(main())
