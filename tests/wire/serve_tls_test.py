#!/usr/bin/env python3
"""`wixml serve` on an open network: TLS with certificates made for the run
(curl and openssl s_client as peers), HTTP Basic users and UsernameTokens'
PasswordText from htpasswd files, and mutual TLS.

  serve_tls_test.py WIXML EXAMPLES_DIR
"""

import os
import re
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from serve_fixture import ACTION, Serve  # noqa: E402

wixml, examples = sys.argv[1], sys.argv[2]
failures = []
certificates = tempfile.TemporaryDirectory()
subprocess.run(["sh", os.path.join(os.path.dirname(os.path.abspath(__file__)), "make_certificates.sh"),
                certificates.name], check=True)


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


def made(name):
    return os.path.join(certificates.name, name)


def tls_options(*more):
    return ("--tls-cert", made("server.pem"), "--tls-key", made("server.key"), *more)


def curl(url, *options, data=None):
    """curl's exit status, the HTTP status and the body."""
    command = ["curl", "-sS", "--max-time", "20", "-o", "-", "-w", "\n%{http_code}", *options]
    if data is not None:
        command += ["-H", "Content-Type: text/xml", "-H", f'SOAPAction: "{ACTION["load"]}"', "--data-binary", "@-"]
    done = subprocess.run(command + [url], input=data, capture_output=True)
    body, _, status = done.stdout.rpartition(b"\n")
    return done.returncode, status.decode(), body


def load_request():
    with open(os.path.join(examples, "load-request.xml"), "rb") as source:
        return source.read()


def handshake(port, *options):
    """Whether openssl s_client completes a handshake with the options."""
    done = subprocess.run(["openssl", "s_client", "-connect", f"127.0.0.1:{port}", "-CAfile", made("ca.pem"),
                           "-verify_return_error", *options], input=b"", capture_output=True, timeout=20)
    return done.returncode == 0 and b"Verify return code: 0" in done.stdout


def test_tls():
    with Serve(wixml, *tls_options()) as serve:
        url = f"https://localhost:{serve.port}/"
        check(serve.url.startswith("https://"), f"the URL says {serve.url}")
        code, status, body = curl(url + "?wsdl", "--cacert", made("ca.pem"))
        check(status == "200" and f'location="https://127.0.0.1:{serve.port}/"'.encode() in body,
              f"the WSDL over TLS: {code} {status} {body[-300:]!r}")
        code, status, _ = curl(url + "?wsdl")
        check(code == 60, f"a certificate curl does not trust: exit {code}")
        code, status, body = curl(url, "--cacert", made("ca.pem"), data=load_request())
        check(status == "200" and b"loadedObjects" in body, f"a load over TLS: {code} {status} {body[:200]!r}")
        for name, options, completes in [
                ("TLS 1.3", ["-tls1_3"], True),
                ("TLS 1.2 with ECDHE and AES-GCM", ["-tls1_2", "-cipher", "ECDHE-ECDSA-AES128-GCM-SHA256"], True),
                ("TLS 1.2 with ChaCha20-Poly1305", ["-tls1_2", "-cipher", "ECDHE-ECDSA-CHACHA20-POLY1305"], True),
                ("TLS 1.1", ["-tls1_1", "-cipher", "DEFAULT@SECLEVEL=0"], False),
                ("TLS 1.0", ["-tls1", "-cipher", "DEFAULT@SECLEVEL=0"], False),
                ("TLS 1.2 with CBC", ["-tls1_2", "-cipher", "ECDHE-ECDSA-AES128-SHA256:ECDHE-ECDSA-AES128-SHA"], False),
                ("TLS 1.2 without forward secrecy", ["-tls1_2", "-cipher", "AES128-GCM-SHA256:AES256-GCM-SHA384"], False)]:
            check(handshake(serve.port, *options) == completes,
                  f"{name}: the handshake {'failed' if completes else 'completed'}")
        serve.stop()
    # A client's close_notify is no request; a refused handshake is logged as none.
    check("cut:request-line" not in serve.log and re.search(r"^- - cut:no-request ", serve.log, re.MULTILINE),
          f"the log of TLS connections: {serve.log}")


def users_file(directory, flags):
    path = os.path.join(directory, "users")
    subprocess.run(["htpasswd", "-c", "-b", "-B", "-C", "4", path, "alice", "open sesame"], check=True,
                   capture_output=True)
    subprocess.run(["htpasswd", "-b", *flags, path, "bob", "hunter2"], check=True, capture_output=True)
    return path


def test_users():
    with tempfile.TemporaryDirectory() as directory:
        # What start() refuses is tested on the library; here, that wixml says so and stops.
        done = subprocess.run([wixml, "serve", "--port", "0", "--users", users_file(directory, ["-m"])],
                              capture_output=True, text=True, timeout=20)
        check(done.returncode == 2 and "users line 2: the entry of 'bob' is no bcrypt hash" in done.stderr,
              f"an MD5 entry: {done.returncode} {done.stderr!r}")
        with Serve(wixml, *tls_options("--users", users_file(directory, ["-B", "-C", "4"]))) as serve:
            url = f"https://localhost:{serve.port}/"
            ca = ("--cacert", made("ca.pem"))
            for name, credentials, expected in [("bob's password", "bob:hunter2", "200"),
                                                ("a wrong password", "alice:open sesam", "401"),
                                                ("no user of the file", "carol:hunter2", "401")]:
                code, status, _ = curl(url, *ca, "-u", credentials, data=load_request())
                check(status == expected, f"{name}: {code} {status}")
            code, status, _ = curl(url, *ca, data=load_request())
            check(status == "401", f"no credentials: {status}")
            code, status, _ = curl(url + "health", *ca)
            check(status == "200", f"/health with no credentials: {status}")
            serve.stop()
        check(re.search(r"refused user 'carol' from 127\.0\.0\.1:\d+", serve.log), f"the refusal's line: {serve.log}")
        check(re.search(r"^POST load 200 .* user bob id ", serve.log, re.MULTILINE), f"bob's line: {serve.log}")
        check("hunter2" not in serve.log and "sesam" not in serve.log, f"a password in the log: {serve.log}")


def token_envelope(user, password):
    """The load request in a SOAP 1.1 envelope with a PasswordText UsernameToken (none when user is None)."""
    message = load_request().split(b"?>", 1)[1]
    token = b"" if user is None else (
        b'<soapenv:Header><wsse:Security soapenv:mustUnderstand="1" xmlns:wsse="http://docs.oasis-open.org/wss/2004/'
        b'01/oasis-200401-wss-wssecurity-secext-1.0.xsd"><wsse:UsernameToken><wsse:Username>' + user.encode() +
        b"</wsse:Username><wsse:Password>" + password.encode() + b"</wsse:Password></wsse:UsernameToken>"
        b"</wsse:Security></soapenv:Header>")
    return (b'<soapenv:Envelope xmlns:soapenv="http://schemas.xmlsoap.org/soap/envelope/">' + token +
            b"<soapenv:Body>" + message + b"</soapenv:Body></soapenv:Envelope>")


def test_token_users():
    with tempfile.TemporaryDirectory() as directory:
        users = users_file(directory, ["-B", "-C", "4"])
        done = subprocess.run([wixml, "serve", "--port", "0", "--token-users", users],
                              capture_output=True, text=True, timeout=20)
        check(done.returncode == 2 and "--token-users needs --tls-cert" in done.stderr,
              f"--token-users without TLS: {done.returncode} {done.stderr!r}")
        with Serve(wixml, *tls_options("--token-users", users)) as serve:
            url = f"https://localhost:{serve.port}/"
            for name, user, password, expected in [("bob's password", "bob", "hunter2", "200"),
                                                   ("a wrong password", "alice", "open sesam", "500"),
                                                   ("no token", None, None, "500")]:
                code, status, body = curl(url, "--cacert", made("ca.pem"), data=token_envelope(user, password))
                check(status == expected, f"token, {name}: {code} {status} {body!r}")
                check(expected == "200" or b"FailedAuthentication" in body, f"token, {name}: {body!r}")
            serve.stop()
        check(re.search(r"refused the UsernameToken of user 'alice' from 127\.0\.0\.1:\d+: a wrong password",
                        serve.log), f"the token's refusal: {serve.log}")
        check(re.search(r"^POST load 200 .* user bob id ", serve.log, re.MULTILINE), f"bob's token line: {serve.log}")
        check("hunter2" not in serve.log and "sesam" not in serve.log, f"a password in the log: {serve.log}")


def test_unread_body():
    """8 MB announced without credentials: 401 at once, the body never waited for."""
    with tempfile.TemporaryDirectory() as directory:
        with Serve(wixml, "--users", users_file(directory, ["-B", "-C", "4"])) as serve:
            with socket.create_connection((serve.host, serve.port), timeout=5) as sock:
                started = time.monotonic()
                sock.sendall(b"POST / HTTP/1.1\r\nHost: x\r\nContent-Type: text/xml\r\nSOAPAction: \"%s\"\r\n"
                             b"Content-Length: %d\r\n\r\n" % (ACTION["load"].encode(), 8 << 20))
                answer = b""
                while b"\r\n\r\n" not in answer:
                    chunk = sock.recv(4096)
                    if not chunk:
                        break
                    answer += chunk
                check(answer.startswith(b"HTTP/1.1 401 ") and time.monotonic() - started < 2,
                      f"the 8 MB request: {answer[:200]!r}")
            serve.stop()
        check(re.search(r"^POST - 401 received 0 ", serve.log, re.MULTILINE), f"its line: {serve.log}")


def test_mutual_tls():
    with Serve(wixml, *tls_options("--client-ca", made("ca.pem"))) as serve:
        url = f"https://localhost:{serve.port}/"
        ca = ("--cacert", made("ca.pem"))
        for name, options, expected in [("alice's certificate", ["--cert", made("alice.pem"), "--key", made("alice.key")], "200"),
                                        ("no certificate", [], "403"),
                                        ("a certificate of another CA",
                                         ["--cert", made("stranger.pem"), "--key", made("stranger.key")], "403")]:
            code, status, _ = curl(url, *ca, *options, data=load_request())
            check(status == expected, f"{name}: {code} {status}")
        serve.stop()
    check(re.search(r"^POST load 200 .* user CN=alice id ", serve.log, re.MULTILINE), f"alice's line: {serve.log}")


def main():
    for test in (test_tls, test_users, test_token_users, test_unread_body, test_mutual_tls):
        test()
    for failure in failures:
        print("FAIL:", failure)
    if failures:
        return 1
    print("wixml serve: TLS, Basic users, UsernameTokens, an unread body and mutual TLS as expected")
    return 0


if __name__ == "__main__":
    sys.exit(main())
