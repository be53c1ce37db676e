"""Starts `wixml serve --port 0` for a test and stops it again.

    with Serve(wixml, "--strict") as serve:
        status, headers, body = serve.post(body, content_type, soap_action)
    serve.log  # what it wrote on standard error, once stopped
"""

import http.client
import os
import resource
import re
import signal
import socket
import subprocess
import tempfile
import time
import urllib.parse

START_SECONDS = 30

SOAP11 = "http://schemas.xmlsoap.org/soap/envelope/"
SOAP12 = "http://www.w3.org/2003/05/soap-envelope"
WI = "http://velmora.com/Schemas/MES/2010-09/WorkInstructions"
ACTION = {"load": f"{WI}/load", "save": f"{WI}/save"}
TEXT_XML = "text/xml; charset=utf-8"


class Serve:
    def __init__(self, wixml, *options, limits=None):
        """limits: {resource.RLIMIT_...: soft and hard limit} for the server process."""
        self.command = [wixml, "serve", "--port", "0", *options]
        self.limits = limits or {}
        self.process = None
        self.url = None
        self.log = ""
        self.exit_status = None
        self.stop_seconds = None

    def __enter__(self):
        self._stderr = tempfile.TemporaryFile(mode="w+")
        def limit():
            for which, value in self.limits.items():
                resource.setrlimit(which, (value, value))

        self.process = subprocess.Popen(self.command, stdout=subprocess.PIPE, stderr=self._stderr, text=True,
                                        preexec_fn=limit if self.limits else None)
        deadline = time.monotonic() + START_SECONDS
        line = self.process.stdout.readline()
        if not re.match(r"listening on https?://", line) or time.monotonic() > deadline:
            self.process.kill()
            self.process.wait()
            self._stderr.seek(0)
            raise RuntimeError(f"wixml serve did not start: {line!r} {self._stderr.read()!r}")
        self.url = line.split()[-1]
        parsed = urllib.parse.urlsplit(self.url)
        self.host, self.port = parsed.hostname, parsed.port
        return self

    def __exit__(self, *exc):
        if self.process.poll() is None:
            self.stop()
        self.process.stdout.close()
        self._stderr.close()

    def stop(self, sig=signal.SIGTERM, timeout=10):
        """Signals the service and waits for it; the seconds it took are kept."""
        started = time.monotonic()
        self.process.send_signal(sig)
        try:
            self.exit_status = self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.exit_status = self.process.wait()
        self.stop_seconds = time.monotonic() - started
        self._stderr.seek(0)
        self.log = self._stderr.read()
        return self.exit_status

    def request(self, method, path="/", body=None, headers=None, timeout=30):
        connection = http.client.HTTPConnection(self.host, self.port, timeout=timeout)
        try:
            connection.request(method, path, body=body, headers=headers or {})
            response = connection.getresponse()
            return response.status, {k.lower(): v for k, v in response.getheaders()}, response.read()
        finally:
            connection.close()

    def post(self, body, content_type=None, soap_action=None):
        headers = {}
        if content_type is not None:
            headers["Content-Type"] = content_type
        if soap_action is not None:
            headers["SOAPAction"] = soap_action
        return self.request("POST", "/WorkInstructions", body if isinstance(body, bytes) else body.encode(), headers)


def replies_directory(examples, **files):
    """A temporary directory with the example replies and the files given (name -> text)."""
    directory = tempfile.TemporaryDirectory()
    for name in ("load-reply.xml", "save-reply.xml"):
        with open(os.path.join(examples, name), "rb") as source, open(os.path.join(directory.name, name), "wb") as copy:
            copy.write(source.read())
    for name, text in files.items():
        with open(os.path.join(directory.name, name.replace("_", "-") + ".xml"), "w", encoding="utf-8") as out:
            out.write(text)
    return directory


def example_message(examples, name):
    """An example message's text without its XML declaration."""
    with open(os.path.join(examples, name), encoding="utf-8") as source:
        return re.sub(r"^<\?xml[^>]*\?>\s*", "", source.read())


def raw_exchange(serve, data, seconds=5):
    """Sends data on a fresh connection; returns what came back before the server
    closed it or time ran out, and whether the server closed it."""
    with socket.create_connection((serve.host, serve.port), timeout=seconds) as sock:
        sock.sendall(data)
        answer = b""
        try:
            while True:
                chunk = sock.recv(65536)
                if not chunk:
                    return answer, True
                answer += chunk
        except socket.timeout:
            return answer, False
        except ConnectionResetError:
            return answer, True
