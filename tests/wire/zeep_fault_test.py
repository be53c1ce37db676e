#!/usr/bin/env python3
"""zeep, a SOAP client that shares no code with ours, builds its client from
examples/service.cpp's ?wsdl and loads a uid never saved, in each SOAP
version: the service's fault must reach it with the detail element by name and,
in SOAP 1.2, the subcode with its namespace.

    zeep_fault_test.py EXAMPLE_SERVICE
"""

import sys

from example_service_test import ExampleService

try:
    import zeep
    import zeep.exceptions
    from lxml import etree
except ImportError:
    sys.exit("FAIL: zeep is missing (Debian package python3-zeep; scripts/install-deps installs it)")

STORE = "urn:example:work-instruction-store"


def main():
    failures = []
    with ExampleService(sys.argv[1]) as serve:
        client = zeep.Client(serve.url + "?wsdl")
        for port, version in (("WorkInstructionsSoap11Port", "1.1"), ("WorkInstructionsSoap12Port", "1.2")):
            service = client.bind("WorkInstructionsService", port)
            try:
                service.load(loadedInfo=[{"targetContext": {"uid": "LineB7"}, "targetObject": {"uid": "Op9999Unknown"}}])
                failures.append(f"SOAP {version}: a reply where a fault was wanted")
                continue
            except zeep.exceptions.Fault as fault:
                entries = [(child.tag, child.text) for child in fault.detail] if fault.detail is not None else []
                if entries != [(f"{{{STORE}}}uid", "Op9999Unknown")]:
                    failures.append(f"SOAP {version}: detail {entries!r}")
                subcodes = [str(code) for code in fault.subcodes or []]
                if version == "1.2" and subcodes != [str(etree.QName(STORE, "UnknownObject"))]:
                    failures.append(f"SOAP 1.2: subcodes {subcodes!r}")
        serve.stop()
    for failure in failures:
        print("FAIL:", failure)
    if failures:
        return 1
    print(f"zeep {zeep.__version__} read the example service's fault by name in SOAP 1.1 and 1.2")
    return 0


if __name__ == "__main__":
    sys.exit(main())
