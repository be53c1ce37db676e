"""What bench/load, bench/soak and bench/faults share: the build, the requests,
starting a server and reading its memory, and one wrk run.

The machine is small and shared, so each tool pins the server under test to
one core and its clients to the other (KVSOA_NO_PIN=1 leaves both free).
"""

import json
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.environ.get("KVSOA_BENCH_BUILD", os.path.join(ROOT, "build-bench"))
PACKAGES = ["cmake", "g++", "make", "libexpat1-dev", "libxml2-dev", "libbenchmark-dev", "gsoap", "libgsoap-dev",
            "libmicrohttpd-dev", "python3", "wrk", "util-linux"]
WI = "http://velmora.com/Schemas/MES/2010-09/WorkInstructions"
SOAP11 = "http://schemas.xmlsoap.org/soap/envelope/"
TEXT_XML = "text/xml; charset=utf-8"
PIN = os.environ.get("KVSOA_NO_PIN") != "1" and (os.cpu_count() or 1) >= 2
SERVER_CPU, CLIENT_CPU = "1", "0"


def prepare(targets):
    """Installs what is missing (as bench/run does), builds the targets in
    release mode and returns the paths of wixml, the gSOAP server and hostile-shapes."""
    missing = [p for p in PACKAGES
               if b"ok installed" not in subprocess.run(["dpkg-query", "-W", "-f=${Status}", p],
                                                        capture_output=True).stdout]
    if missing:
        sudo = [] if os.getuid() == 0 else ["sudo"]
        env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
        subprocess.run(sudo + ["apt-get", "update", "-q"], check=True, env=env)
        subprocess.run(sudo + ["apt-get", "install", "-y", "-q", "--no-install-recommends", *missing],
                       check=True, env=env)
    subprocess.run(["cmake", "-S", os.path.join(ROOT, "bench"), "-B", BUILD, "-DCMAKE_BUILD_TYPE=Release",
                    "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -g -DNDEBUG"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", BUILD, "-j2", "--target", *targets], check=True, stdout=subprocess.DEVNULL)
    return {"wixml": os.path.join(BUILD, "kvsoa", "tools", "wixml"),
            "gsoap": os.path.join(BUILD, "kvsoa-gsoap-server"),
            "hostile-shapes": os.path.join(BUILD, "hostile-shapes")}


def _message(name):
    with open(os.path.join(ROOT, "examples", name), encoding="utf-8") as source:
        text = re.sub(r"<!--.*?-->", "", source.read(), flags=re.S)
    return re.sub(r"^\s*<\?xml[^>]*\?>\s*", "", text)


def _envelope(message):
    return (f'<?xml version="1.0" encoding="UTF-8"?>\n<soapenv:Envelope xmlns:soapenv="{SOAP11}">'
            f"<soapenv:Body>{message}</soapenv:Body></soapenv:Envelope>\n")


def _grow(message, element, size):
    """The message with its first `element` repeated until the envelope reaches size bytes."""
    one = re.search(rf"<wi:{element}\b.*?</wi:{element}>\s*", message, flags=re.S).group(0)
    copies = 1
    while len(_envelope(message.replace(one, one * copies)).encode()) < size:
        copies += 1
    return _envelope(message.replace(one, one * copies))


def write_requests(directory):
    """SOAP 1.1 requests of about 1 KB (load) and 100 KB (save), as files:
    name -> (path, SOAPAction, bytes)."""
    requests = {"1KB": (_grow(_message("load-request.xml"), "loadedInfo", 1000), f"{WI}/load"),
                "100KB": (_grow(_message("save-request.xml"), "savedObjects", 100_000), f"{WI}/save")}
    result = {}
    for name, (text, action) in requests.items():
        path = os.path.join(directory, f"request-{name}.xml")
        with open(path, "w", encoding="utf-8") as out:
            out.write(text)
        result[name] = (path, action, len(text.encode()))
    return result


def pinned(command, cpu):
    return ["taskset", "-c", cpu, *command] if PIN else command


class Server:
    """A server started on a free port, which prints "listening on URL" first."""

    def __init__(self, command, log=subprocess.DEVNULL, env=None, wrap=()):
        self.process = subprocess.Popen(pinned([*wrap, *command], SERVER_CPU), stdout=subprocess.PIPE, stderr=log,
                                        text=True, env=env)
        line = self.process.stdout.readline()
        while line and not line.startswith("listening on http://"):  # a wrapping tool's own words
            line = self.process.stdout.readline()
        if not line.startswith("listening on http://"):
            self.process.kill()
            raise RuntimeError(f"{command[0]} did not start: {line!r}")
        self.url = line.split()[-1]
        self.host, self.port = re.match(r"http://([^/]+):(\d+)/", self.url).groups()
        self.port = int(self.port)
        # Under a wrapping tool (heaptrack), the server is one of its descendants.
        self.pid = self.process.pid
        if wrap:
            self.pid = next(pid for pid in _descendants(self.process.pid) if _program(pid) == command[0])

    def alive(self):
        return self.process.poll() is None

    def rss_mb(self):
        """Resident memory in MB, None once the process is gone."""
        try:
            with open(f"/proc/{self.pid}/status") as status:
                for line in status:
                    if line.startswith("VmRSS:"):
                        return int(line.split()[1]) / 1024
        except FileNotFoundError:
            return None
        return None

    def stop(self):
        if self.alive():
            os.kill(self.pid, signal.SIGTERM)
            try:
                self.process.wait(15)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process.stdout.close()
        return self.process.returncode


def _descendants(pid):
    children = []
    for task in os.listdir(f"/proc/{pid}/task"):
        with open(f"/proc/{pid}/task/{task}/children") as listing:
            children += [int(child) for child in listing.read().split()]
    return [d for child in children for d in (child, *_descendants(child))]


def _program(pid):
    with open(f"/proc/{pid}/cmdline", "rb") as cmdline:
        return cmdline.read().split(b"\0")[0].decode()


def wrk(url, request, connections, seconds, expect=None, limit=0, timeout="10s", stop_when=None):
    """One wrk run of the request (path, action, bytes); its JSON summary.
    stop_when, polled every half second, ends the run early (wrk's SIGINT)."""
    path, action, _ = request
    threads = 1 if connections == 1 else 2
    env = dict(os.environ, KVSOA_BODY=path, KVSOA_TYPE=TEXT_XML, KVSOA_ACTION=action,
               KVSOA_EXPECT=expect or "", KVSOA_LIMIT=str(limit))
    command = ["wrk", f"-t{threads}", f"-c{connections}", f"-d{seconds}s", f"--timeout={timeout}",
               "-s", os.path.join(ROOT, "bench", "post.lua"), url]
    process = subprocess.Popen(pinned(command, CLIENT_CPU), env=env, stdout=subprocess.PIPE, text=True)
    if stop_when:
        while process.poll() is None:
            time.sleep(0.5)
            if stop_when():
                process.send_signal(signal.SIGINT)
                break
    output, _ = process.communicate()
    if process.returncode != 0:
        raise RuntimeError(f"wrk failed with status {process.returncode}")
    summary = json.loads(output.strip().splitlines()[-1])
    summary["rps"] = summary["requests"] / summary["seconds"] if summary["seconds"] else 0.0
    return summary


def machine():
    """CPUs, the load average and the pinning, for the report."""
    with open("/proc/loadavg") as loadavg:
        load = " ".join(loadavg.read().split()[:3])
    pin = f"server on CPU {SERVER_CPU}, clients on CPU {CLIENT_CPU} (taskset)" if PIN else "not pinned"
    return f"{os.cpu_count()} CPUs, load average {load}; {pin}"


def scratch():
    return tempfile.mkdtemp(prefix="kvsoa-load-", dir=BUILD if os.path.isdir(BUILD) else None)


def remove(directory):
    shutil.rmtree(directory, ignore_errors=True)


def say(*parts):
    print(*parts, flush=True)
