#!/usr/bin/env python3
"""zeep's own WS-Security UsernameToken (PasswordDigest) against
examples/service.cpp with --token-users, in each SOAP version: the right
password gets through to the handler (a load of a uid never saved, so its
fault is the handler's), while a wrong password, a replayed nonce and a
Created out of the five-minute window get the wsse:FailedAuthentication fault.

    zeep_token_test.py EXAMPLE_SERVICE
"""

import datetime
import os
import sys
import tempfile

from example_service_test import ExampleService

try:
    import zeep
    import zeep.exceptions
    from zeep.wsse.username import UsernameToken
except ImportError:
    sys.exit("FAIL: zeep is missing (Debian package python3-zeep; scripts/install-deps installs it)")

HANDLER = "no work instruction was saved for 'Op9999Unknown'"
REFUSED = "The security token could not be authenticated or authorized"


def outcome(client, port, token):
    """The fault's message of a load with token: the handler's or the refusal's."""
    service = client.bind("WorkInstructionsService", port)
    client.wsse = token
    try:
        service.load(loadedInfo=[{"targetContext": {"uid": "LineB7"}, "targetObject": {"uid": "Op9999Unknown"}}])
        return "a reply"
    except zeep.exceptions.Fault as fault:
        return fault.message


def main():
    failures = []
    now = datetime.datetime.utcnow()
    with tempfile.TemporaryDirectory() as directory:
        users = os.path.join(directory, "token-users")
        with open(users, "w") as file:
            file.write("alice:open sesame\n")
        with ExampleService(sys.argv[1], "--token-users", users) as serve:
            client = zeep.Client(serve.url + "?wsdl")
            for port, version in (("WorkInstructionsSoap11Port", "1.1"), ("WorkInstructionsSoap12Port", "1.2")):
                nonce = "nonce-of-soap-" + version
                rows = [
                    ("digest", UsernameToken("alice", "open sesame", use_digest=True), HANDLER),
                    ("digest, zulu time", UsernameToken("alice", "open sesame", use_digest=True, zulu_timestamp=True),
                     HANDLER),
                    ("wrong password", UsernameToken("alice", "opensesame", use_digest=True), REFUSED),
                    ("first use of a nonce", UsernameToken("alice", "open sesame", use_digest=True, nonce=nonce,
                                                           created=now), HANDLER),
                    ("the nonce again", UsernameToken("alice", "open sesame", use_digest=True, nonce=nonce,
                                                      created=now), REFUSED),
                    ("stale Created", UsernameToken("alice", "open sesame", use_digest=True,
                                                    created=now - datetime.timedelta(minutes=6)), REFUSED),
                    ("future Created", UsernameToken("alice", "open sesame", use_digest=True,
                                                     created=now + datetime.timedelta(minutes=6)), REFUSED),
                    ("no token", None, REFUSED),
                ]
                for name, token, wanted in rows:
                    got = outcome(client, port, token)
                    if got != wanted:
                        failures.append(f"SOAP {version}, {name}: {got!r}, not {wanted!r}")
            serve.stop()
        for cause in ("a wrong password or an unknown user", "a Nonce already used", "a Created older than the window",
                      "a Created in the future beyond the window", "no UsernameToken"):
            if cause not in serve.log:
                failures.append(f"no '{cause}' in the log: {serve.log!r}")
        if "open sesame" in serve.log:
            failures.append("the password in the log")
    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print("zeep's UsernameTokens judged as they should be")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
