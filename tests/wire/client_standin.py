#!/usr/bin/env python3
"""A misbehaving service for the client's tests, on 127.0.0.1. It prints
`listening on http://127.0.0.1:PORT/` like `wixml serve`, then answers each
POST by its path:

  /echo               the save reply of EXAMPLES_DIR, HTTP 200 (the request is recorded)
  /hang               reads the request and never answers
  /cut                declares the whole save reply, sends half of it, closes
  /cut-once           as /cut the first time, as /echo after
  /cut-chunked        sends the save reply in chunks, closes before the last
  /nothing            closes without answering
  /status-503         an HTML error page, HTTP 503
  /status-control     HTTP 502 whose reason phrase holds an escape, a bell and a DEL
  /long-header        the save reply after a header line of 200 KiB
  /many-headers       the save reply after 6000 header lines, some 600 KiB
  /xml-500            the save reply itself, with HTTP 500
  /fault-200          a SOAP 1.1 fault with HTTP 200, as node-soap sends by default
  /fault-12           a SOAP 1.2 fault with subcodes and detail, HTTP 500
  /wrong              the load reply, whatever was asked
  /wrong-then-hang    the start of a load reply, some 140 KiB of it, then nothing more
  /big                a reply declared 2 MiB long
  /big-chunked        2 MiB of reply in chunks, with no length declared
  /gather-8           the save reply, once eight requests wait for it (each waits 10 s at most)
  /wsse               the save reply when the request's WS-Security UsernameToken
                      (UsernameToken Profile 1.1) is jdoe's with the password
                      "secret", a fresh nonce and a Created within five
                      minutes; else a SOAP 1.1 fault saying what is wrong
  /large              a save reply in a SOAP 1.1 envelope naming 20000 created
                      objects Obj0 to Obj19999, in chunks of 1000 bytes

With --tls DIR it speaks https instead, with a certificate for 127.0.0.1 that
it makes (openssl) and leaves in DIR/cert.pem, signed by no one. With
--client-cert after it, it also makes DIR/client-cert.pem and
DIR/client-key.pem (CN=standin-client) and takes only clients that present
that certificate.

GET /last answers, as text, the connections accepted so far
("connections: N"), then the headers of the last recorded request (names in
lower case), an empty line and its body. It stops on SIGTERM or after 10 minutes.

  client_standin.py EXAMPLES_DIR [--tls DIR [--client-cert]]
"""

import base64
import datetime
import hashlib
import os
import signal
import socket
import ssl
import subprocess
import sys
import threading
import xml.etree.ElementTree as ElementTree
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

HANG_SECONDS = 30
LIFETIME_SECONDS = 600
SOAP11 = "http://schemas.xmlsoap.org/soap/envelope/"
SOAP12 = "http://www.w3.org/2003/05/soap-envelope"
WI = "http://velmora.com/Schemas/MES/2010-09/WorkInstructions"

examples = sys.argv[1]
with open(os.path.join(examples, "save-reply.xml"), "rb") as file:
    SAVE_REPLY = file.read()
with open(os.path.join(examples, "load-reply.xml"), "rb") as file:
    LOAD_REPLY = file.read()
FAULT_11 = (f'<s:Envelope xmlns:s="{SOAP11}"><s:Body><s:Fault><faultcode>s:Server</faultcode>'
            "<faultstring>Store offline</faultstring><detail><x>retry later</x></detail>"
            "</s:Fault></s:Body></s:Envelope>").encode()
FAULT_12 = (f'<env:Envelope xmlns:env="{SOAP12}" xmlns:app="urn:app"><env:Body><env:Fault>'
            "<env:Code><env:Value>env:Sender</env:Value><env:Subcode><env:Value>app:Locked</env:Value>"
            "</env:Subcode></env:Code><env:Reason><env:Text xml:lang=\"en\">Checked out</env:Text></env:Reason>"
            "<env:Detail><app:by>jdoe</app:by></env:Detail></env:Fault></env:Body></env:Envelope>").encode()
WRONG_START = (f'<s:Envelope xmlns:s="{SOAP11}"><s:Body><wi:LoadedObjectsResponse xmlns:wi="{WI}">'
               + '<wi:loadedObjects workInstructionFile="WI-1.wix"/>' * 3000).encode()

LARGE = (f'<s:Envelope xmlns:s="{SOAP11}"><s:Body><wi:SavedObjectsResponse xmlns:wi="{WI}" '
         'xmlns:base="http://kavella.com/Schemas/Soa/2006-03/Base"><ServiceData>'
         + "".join(f'<base:created uid="Obj{i}"/>' for i in range(20000))
         + "</ServiceData></wi:SavedObjectsResponse></s:Body></s:Envelope>").encode()

WSSE = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd"
WSU = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd"
TOKEN_PROFILE = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0"
BASE64_BINARY = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-soap-message-security-1.0#Base64Binary"

lock = threading.Lock()
state = {"connections": 0, "last": None, "cut-once": 0, "gathered": 0}
gathering = threading.Condition(lock)


def username_token_fault(body, nonces):
    """What is wrong with the request's UsernameToken, or None, judged by the profile, not by our code."""
    envelope = ElementTree.fromstring(body)
    soap = envelope.tag[1:envelope.tag.index("}")]
    security = envelope.find(f"{{{soap}}}Header/{{{WSSE}}}Security")
    if security is None:
        return "no wsse:Security header block"
    if security.get(f"{{{soap}}}mustUnderstand") not in ("1", "true"):
        return "the Security block is not mustUnderstand"
    token = security.find(f"{{{WSSE}}}UsernameToken")
    user, password = token.findtext(f"{{{WSSE}}}Username"), token.find(f"{{{WSSE}}}Password")
    if user != "jdoe":
        return f"unknown user {user}"
    if password.get("Type") == TOKEN_PROFILE + "#PasswordText":
        return None if password.text == "secret" else "wrong password"
    if password.get("Type") != TOKEN_PROFILE + "#PasswordDigest":
        return f"password type {password.get('Type')}"
    nonce = token.find(f"{{{WSSE}}}Nonce")
    if nonce.get("EncodingType") != BASE64_BINARY:
        return f"nonce encoding {nonce.get('EncodingType')}"
    created = token.findtext(f"{{{WSU}}}Created")
    when = datetime.datetime.strptime(created, "%Y-%m-%dT%H:%M:%S.%fZ").replace(tzinfo=datetime.timezone.utc)
    if abs((datetime.datetime.now(datetime.timezone.utc) - when).total_seconds()) > 300:
        return f"Created {created} is stale"
    raw_nonce = base64.b64decode(nonce.text, validate=True)
    if len(raw_nonce) < 16 or raw_nonce in nonces:
        return "the nonce is short or used before"
    nonces.add(raw_nonce)
    digest = base64.b64encode(hashlib.sha1(raw_nonce + created.encode() + b"secret").digest()).decode()
    return None if password.text == digest else "the password digest differs"


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def setup(self):
        super().setup()
        with lock:
            state["connections"] += 1

    def log_message(self, *args):
        pass

    def answer(self, status, body, content_type="text/xml; charset=utf-8", length=None):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body) if length is None else length))
        self.end_headers()
        self.wfile.write(body)

    def chunks(self, body, last=True, size=16384):
        self.send_response(200)
        self.send_header("Content-Type", "text/xml; charset=utf-8")
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        for start in range(0, len(body), size):
            piece = body[start:start + size]
            self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
        if last:
            self.wfile.write(b"0\r\n\r\n")

    def hang(self):
        """Holds the connection until the client closes it."""
        self.wfile.flush()
        self.connection.settimeout(HANG_SECONDS)
        try:
            self.connection.recv(1)
        except OSError:
            pass
        self.close_connection = True

    def cut(self):
        self.wfile.flush()
        self.connection.shutdown(socket.SHUT_RDWR)
        self.close_connection = True

    def do_GET(self):
        with lock:
            last = state["last"] or {"headers": {}, "body": ""}
            lines = [f"connections: {state['connections']}"]
            lines += [f"{name}: {value}" for name, value in last["headers"].items()]
            body = ("\n".join(lines) + "\n\n" + last["body"]).encode()
        self.answer(200, body, "text/plain; charset=utf-8")

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        path = self.path
        if path == "/cut-once":
            with lock:
                state["cut-once"] += 1
                path = "/cut" if state["cut-once"] == 1 else "/echo"
        if path == "/echo":
            with lock:
                state["last"] = {"headers": {k.lower(): v for k, v in self.headers.items()},
                                 "body": body.decode("utf-8", "replace")}
            self.answer(200, SAVE_REPLY)
        elif path == "/gather-8":
            with gathering:
                state["gathered"] += 1
                group_full = (state["gathered"] + 7) // 8 * 8
                gathering.notify_all()
                gathering.wait_for(lambda: state["gathered"] >= group_full, timeout=10)
            self.answer(200, SAVE_REPLY)
        elif path == "/wsse":
            with lock:
                wrong = username_token_fault(body, state.setdefault("nonces", set()))
            if wrong and SOAP12.encode() in body[:200]:
                self.answer(500, (f'<e:Envelope xmlns:e="{SOAP12}"><e:Body><e:Fault><e:Code><e:Value>e:Sender'
                                  f'</e:Value></e:Code><e:Reason><e:Text xml:lang="en">{wrong}</e:Text></e:Reason>'
                                  "</e:Fault></e:Body></e:Envelope>").encode(), "application/soap+xml; charset=utf-8")
            elif wrong:
                self.answer(500, (f'<s:Envelope xmlns:s="{SOAP11}"><s:Body><s:Fault><faultcode>s:Client</faultcode>'
                                  f"<faultstring>{wrong}</faultstring></s:Fault></s:Body></s:Envelope>").encode())
            else:
                self.answer(200, SAVE_REPLY)
        elif path == "/hang":
            self.hang()
        elif path == "/cut":
            self.answer(200, SAVE_REPLY[: len(SAVE_REPLY) // 2], length=len(SAVE_REPLY))
            self.cut()
        elif path == "/cut-chunked":
            self.chunks(SAVE_REPLY[: len(SAVE_REPLY) // 2], last=False)
            self.cut()
        elif path == "/nothing":
            self.cut()
        elif path == "/status-503":
            self.send_response(503, "Service Unavailable")
            self.send_header("Content-Type", "text/html")
            page = b"<html><body>\n  <h1>Down for maintenance</h1>\n</body></html>"
            self.send_header("Content-Length", str(len(page)))
            self.end_headers()
            self.wfile.write(page)
        elif path == "/status-control":
            self.send_response(502, "Bad\x1b[2J\x07Gateway\x7f")
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif path == "/long-header":
            self.send_response(200)
            self.send_header("X-Long", "x" * (200 * 1024))
            self.send_header("Content-Type", "text/xml; charset=utf-8")
            self.send_header("Content-Length", str(len(SAVE_REPLY)))
            self.end_headers()
            self.wfile.write(SAVE_REPLY)
        elif path == "/many-headers":
            self.send_response(200)
            for number in range(6000):
                self.send_header(f"X-H{number}", "y" * 90)
            self.send_header("Content-Type", "text/xml; charset=utf-8")
            self.send_header("Content-Length", str(len(SAVE_REPLY)))
            self.end_headers()
            self.wfile.write(SAVE_REPLY)
        elif path == "/xml-500":
            self.answer(500, SAVE_REPLY)
        elif path == "/fault-200":
            self.answer(200, FAULT_11)
        elif path == "/fault-12":
            self.answer(500, FAULT_12, "application/soap+xml; charset=utf-8")
        elif path == "/wrong":
            self.answer(200, LOAD_REPLY)
        elif path == "/wrong-then-hang":
            self.answer(200, WRONG_START, length=len(WRONG_START) * 8)
            self.hang()
        elif path == "/big":
            self.answer(200, b"<x/>", length=2 * 1024 * 1024)
            self.cut()
        elif path == "/large":
            self.chunks(LARGE, size=1000)
        elif path == "/big-chunked":
            self.chunks(b" " * (2 * 1024 * 1024))
        else:
            self.answer(404, b"no such path", "text/plain")


def make_certificate(key, cert, subject, *extensions):
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "1", "-subj", subject, *extensions], check=True, capture_output=True)


def self_signed(directory, client_cert):
    """A key and a certificate for 127.0.0.1, valid for a day; and a client's, trusted alone."""
    key, cert = os.path.join(directory, "key.pem"), os.path.join(directory, "cert.pem")
    make_certificate(key, cert, "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1")
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    if client_cert:
        client = os.path.join(directory, "client-cert.pem")
        make_certificate(os.path.join(directory, "client-key.pem"), client, "/CN=standin-client")
        context.verify_mode = ssl.CERT_REQUIRED
        context.load_verify_locations(client)
    return context


def main():
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    scheme = "http"
    if len(sys.argv) > 3 and sys.argv[2] == "--tls":
        context = self_signed(sys.argv[3], "--client-cert" in sys.argv[4:])
        server.socket = context.wrap_socket(server.socket, server_side=True)
        scheme = "https"
    signal.signal(signal.SIGTERM, lambda *_: threading.Thread(target=server.shutdown).start())
    threading.Timer(LIFETIME_SECONDS, server.shutdown).start()
    print(f"listening on {scheme}://127.0.0.1:{server.server_address[1]}/", flush=True)
    server.serve_forever()
    os._exit(0)  # the lifetime timer and hanging handlers end with it


if __name__ == "__main__":
    main()
