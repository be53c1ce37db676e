#!/usr/bin/env python3
"""Checks the service description against the schema it imports.

  check_service_description.py WSDL [--namespace URI] [--operation NAME INPUT OUTPUT]...
  check_service_description.py WSDL --self-test [--namespace URI] [--operation ...]

The WSDL must be document/literal with a SOAP 1.1 and a SOAP 1.2 binding. Every
message part must name a global element that the schemas in its types section
declare or import (resolved relative to the file that imports them, as a toolkit
would); both bindings must bind exactly the portType's operations, each with a
soapAction, the same in both; each port must carry an address of its binding's
SOAP version. --operation pins an operation's input and output elements (local
names in --namespace), and when given, the portType holds exactly those.

--self-test breaks copies of the WSDL in the ways above and fails unless the
check finds each fault, and finds none in the unbroken copy.
"""

import argparse
import os
import shutil
import sys
import tempfile
import xml.etree.ElementTree as ET

WSDL = "http://schemas.xmlsoap.org/wsdl/"
XS = "http://www.w3.org/2001/XMLSchema"
SOAP = {"1.1": "http://schemas.xmlsoap.org/wsdl/soap/", "1.2": "http://schemas.xmlsoap.org/wsdl/soap12/"}
HTTP_TRANSPORT = "http://schemas.xmlsoap.org/soap/http"


def parse(path):
    """The root element and, for every element, the prefixes in scope there
    (ElementTree drops them, but QName-valued attributes need them)."""
    scopes, stack, pending = {}, [{}], []
    root = None
    for event, item in ET.iterparse(path, events=("start-ns", "start", "end")):
        if event == "start-ns":
            pending.append(item)
        elif event == "start":
            scope = dict(stack[-1])
            scope.update(pending)
            pending = []
            scopes[item] = scope
            stack.append(scope)
            if root is None:
                root = item
        else:
            stack.pop()
    return root, scopes


class Checker:
    def __init__(self, wsdl_path):
        self.path = wsdl_path
        self.problems = []
        self.elements = {}  # (namespace, name) -> file that declares it
        self.schema_files = set()

    def problem(self, text):
        self.problems.append(text)

    def qname(self, scopes, element, value, what):
        if value is None:
            self.problem(f"{what}: no QName")
            return None
        prefix, _, local = value.rpartition(":")
        scope = scopes[element]
        if prefix not in scope and prefix != "":
            self.problem(f"{what}: prefix '{prefix}' of '{value}' is not declared")
            return None
        return (scope.get(prefix, ""), local)

    # ---- schemas ---------------------------------------------------------------

    def load_schema(self, schema, scopes, base_path, expected_namespace=None, included=False):
        namespace = schema.get("targetNamespace", "")
        where = os.path.basename(base_path)
        if expected_namespace is not None and not (included and namespace == "") \
                and namespace != expected_namespace:
            self.problem(f"{where}: target namespace '{namespace}', imported as '{expected_namespace}'")
        if included and namespace == "":
            namespace = expected_namespace
        for element in schema.findall(f"{{{XS}}}element"):
            if element.get("name"):
                self.elements[(namespace, element.get("name"))] = where
        for link in schema.findall(f"{{{XS}}}import") + schema.findall(f"{{{XS}}}include"):
            is_include = link.tag == f"{{{XS}}}include"
            location = link.get("schemaLocation")
            linked_namespace = namespace if is_include else link.get("namespace", "")
            if location is None:
                self.problem(f"{where}: an {link.tag.split('}')[1]} of '{linked_namespace}' without schemaLocation")
                continue
            self.load_schema_file(os.path.join(os.path.dirname(base_path), location), linked_namespace, is_include)

    def load_schema_file(self, path, expected_namespace, included):
        path = os.path.normpath(path)
        if path in self.schema_files:
            return
        self.schema_files.add(path)
        if not os.path.isfile(path):
            self.problem(f"schema not found: {path}")
            return
        try:
            root, scopes = parse(path)
        except ET.ParseError as error:
            self.problem(f"{path}: not well-formed: {error}")
            return
        if root.tag != f"{{{XS}}}schema":
            self.problem(f"{path}: the root is {root.tag}, not an XML Schema")
            return
        self.load_schema(root, scopes, path, expected_namespace, included)

    # ---- the description -----------------------------------------------------

    def run(self, namespace=None, operations=()):
        try:
            root, scopes = parse(self.path)
        except ET.ParseError as error:
            self.problem(f"not well-formed: {error}")
            return self.problems
        if root.tag != f"{{{WSDL}}}definitions":
            self.problem(f"the root is {root.tag}, not a WSDL 1.1 definitions")
            return self.problems
        tns = root.get("targetNamespace")
        if not tns:
            self.problem("definitions without a targetNamespace")
            return self.problems

        for schema in root.findall(f"{{{WSDL}}}types/{{{XS}}}schema"):
            self.load_schema(schema, scopes, self.path)
        if not self.elements:
            self.problem("the types section declares and imports no global element")

        def named(tag):
            found = {}
            for item in root.findall(f"{{{WSDL}}}{tag}"):
                name = item.get("name")
                if name in found:
                    self.problem(f"two {tag}s named '{name}'")
                found[name] = item
            return found

        # Messages: one part each, naming a declared element (document/literal).
        message_elements = {}
        for name, message in named("message").items():
            parts = message.findall(f"{{{WSDL}}}part")
            if len(parts) != 1:
                self.problem(f"message '{name}' has {len(parts)} parts, not one")
            for part in parts:
                if part.get("type") is not None or part.get("element") is None:
                    self.problem(f"message '{name}': part '{part.get('name')}' does not name an element")
                    continue
                element = self.qname(scopes, part, part.get("element"), f"message '{name}'")
                if element and element not in self.elements:
                    self.problem(f"message '{name}': element {{{element[0]}}}{element[1]} is declared "
                                 "by no schema of the types section")
                message_elements[name] = element

        def local_ref(item, attribute, kind, known, what):
            ref = self.qname(scopes, item, item.get(attribute), what)
            if ref is None:
                return None
            if ref[0] != tns or ref[1] not in known:
                self.problem(f"{what}: {attribute} '{item.get(attribute)}' names no {kind} of this description")
                return None
            return ref[1]

        # The portType's operations, with the element each direction carries.
        port_types = named("portType")
        if len(port_types) != 1:
            self.problem(f"{len(port_types)} portTypes, not one")
        port_operations = {}
        for port_type_name, port_type in port_types.items():
            ops = {}
            for op in port_type.findall(f"{{{WSDL}}}operation"):
                directions = {}
                for direction in ("input", "output"):
                    item = op.find(f"{{{WSDL}}}{direction}")
                    if item is None:
                        self.problem(f"portType operation '{op.get('name')}' has no {direction}")
                        continue
                    message = local_ref(item, "message", "message", message_elements,
                                        f"portType operation '{op.get('name')}' {direction}")
                    directions[direction] = message_elements.get(message)
                if op.get("name") in ops:
                    self.problem(f"portType '{port_type_name}': two operations named '{op.get('name')}'")
                ops[op.get("name")] = directions
            port_operations[port_type_name] = ops

        for name, input_name, output_name in operations:
            found = [ops[name] for ops in port_operations.values() if name in ops]
            if not found:
                self.problem(f"no operation '{name}' in the portType")
                continue
            for direction, local in (("input", input_name), ("output", output_name)):
                actual = found[0].get(direction)
                if actual != (namespace, local):
                    shown = f"{{{actual[0]}}}{actual[1]}" if actual else "none"
                    self.problem(f"operation '{name}' {direction}: element {shown}, "
                                 f"expected {{{namespace}}}{local}")
        if operations:
            wanted = {o[0] for o in operations}
            for ops in port_operations.values():
                for extra in sorted(set(ops) - wanted):
                    self.problem(f"operation '{extra}' in the portType is not expected")

        # Bindings: document/literal over HTTP, the portType's operations, a soapAction each.
        bindings = named("binding")
        binding_versions = {}
        actions = {}  # operation -> {version: soapAction}
        for binding_name, binding in bindings.items():
            what = f"binding '{binding_name}'"
            port_type = local_ref(binding, "type", "portType", port_operations, what)
            markers = [(v, binding.find(f"{{{ns}}}binding")) for v, ns in SOAP.items()]
            markers = [(v, m) for v, m in markers if m is not None]
            if len(markers) != 1:
                self.problem(f"{what}: {len(markers)} SOAP binding elements, not one")
                continue
            version, marker = markers[0]
            binding_versions[binding_name] = version
            soap = SOAP[version]
            if marker.get("style") != "document":
                self.problem(f"{what}: style '{marker.get('style')}', not document")
            if marker.get("transport") != HTTP_TRANSPORT:
                self.problem(f"{what}: transport '{marker.get('transport')}', not {HTTP_TRANSPORT}")
            bound = {}
            for op in binding.findall(f"{{{WSDL}}}operation"):
                op_name = op.get("name")
                if op_name in bound:
                    self.problem(f"{what}: operation '{op_name}' bound twice")
                bound[op_name] = op
                soap_op = op.find(f"{{{soap}}}operation")
                action = soap_op.get("soapAction") if soap_op is not None else None
                if not action:
                    self.problem(f"{what}: operation '{op_name}' has no SOAP {version} soapAction")
                else:
                    actions.setdefault(op_name, {})[binding_name] = action
                if soap_op is not None and soap_op.get("style", "document") != "document":
                    self.problem(f"{what}: operation '{op_name}' has style '{soap_op.get('style')}'")
                for direction in ("input", "output"):
                    body = op.find(f"{{{WSDL}}}{direction}/{{{soap}}}body")
                    if body is None:
                        self.problem(f"{what}: operation '{op_name}' {direction} has no SOAP {version} body")
                    elif body.get("use") != "literal":
                        self.problem(f"{what}: operation '{op_name}' {direction} body has use "
                                     f"'{body.get('use')}', not literal")
            if port_type is not None:
                expected = set(port_operations[port_type])
                for missing in sorted(expected - set(bound)):
                    self.problem(f"{what}: operation '{missing}' of the portType is not bound")
                for extra in sorted(set(bound) - expected):
                    self.problem(f"{what}: operation '{extra}' is not in the portType")
        for version in SOAP:
            if version not in binding_versions.values():
                self.problem(f"no SOAP {version} binding")
        for op_name, by_binding in actions.items():
            if len(set(by_binding.values())) > 1:
                self.problem(f"operation '{op_name}': soapAction differs between bindings: {by_binding}")
        seen = {}
        for op_name, by_binding in actions.items():
            for binding_name, action in by_binding.items():
                other = seen.setdefault((binding_name, action), op_name)
                if other != op_name:
                    self.problem(f"binding '{binding_name}': operations '{other}' and '{op_name}' "
                                 f"share the soapAction {action}")

        # Ports: one per binding, each with an address of its binding's version.
        served = set()
        services = named("service")
        if not services:
            self.problem("no service")
        for service_name, service in services.items():
            for port in service.findall(f"{{{WSDL}}}port"):
                what = f"port '{port.get('name')}'"
                binding_name = local_ref(port, "binding", "binding", bindings, what)
                if binding_name is None:
                    continue
                served.add(binding_name)
                version = binding_versions.get(binding_name)
                if version is None:
                    continue
                address = port.find(f"{{{SOAP[version]}}}address")
                if address is None or not address.get("location"):
                    self.problem(f"{what}: no SOAP {version} address with a location")
        for binding_name in sorted(set(bindings) - served):
            self.problem(f"binding '{binding_name}' has no port")

        operation_names = sorted(o for ops in port_operations.values() for o in ops)
        found = [e for e in message_elements.values() if e in self.elements]
        self.summary = "; ".join([
            f"{len(operation_names)} operations ({', '.join(operation_names)})",
            "bindings " + ", ".join(f"{n} (SOAP {v})" for n, v in sorted(binding_versions.items())),
            f"message elements {', '.join(sorted(e[1] for e in found))} found in "
            + ", ".join(sorted({self.elements[e] for e in found}))])
        return self.problems


def check(path, namespace, operations):
    return Checker(path).run(namespace, operations)


# ---- the check's own test --------------------------------------------------------

def faults(namespace):
    """(what, [(old, new)...], a text the check must report). Each old text must
    be in the WSDL, so that a fault that no longer applies fails loudly."""
    save = f'soapAction="{namespace}/save"'
    http = 'transport="http://schemas.xmlsoap.org/soap/http"'
    load_in, save_in = 'element="wi:LoadWorkInstructionDocInput"', 'element="wi:SaveWorkInstructionDocInput"'
    bound = '    <wsdl:operation name="{}">\n      <{}:operation'
    return [
        ("an element the schema lacks",
         [('element="wi:SavedObjectsResponse"', 'element="wi:SavedObjectResponse"')], "declared by no schema"),
        ("an element in another namespace",
         [('element="wi:LoadedObjectsResponse"', 'element="xs:LoadedObjectsResponse"')], "declared by no schema"),
        ("a part by type",
         [('element="wi:LoadedObjectsResponse"', 'type="wi:LoadedObjectsResponse"')], "does not name an element"),
        ("the schema not beside it",
         [('schemaLocation="WorkInstructions.xsd"', 'schemaLocation="schema/WorkInstructions.xsd"')],
         "schema not found"),
        ("the import under another namespace",
         [(f'<xs:import namespace="{namespace}"', f'<xs:import namespace="{namespace}/Other"')], "imported as"),
        ("no SOAP 1.2 soapAction",
         [(f"<soap12:operation {save}", "<soap12:operation")], "has no SOAP 1.2 soapAction"),
        ("an empty SOAP 1.1 soapAction",
         [(f"<soap:operation {save}", '<soap:operation soapAction=""')], "has no SOAP 1.1 soapAction"),
        ("different soapActions",
         [(f"<soap12:operation {save}", f'<soap12:operation soapAction="{namespace}/Save"')],
         "differs between bindings"),
        ("one soapAction for both",
         [(f"<soap:operation {save}", f'<soap:operation soapAction="{namespace}/load"')], "share the soapAction"),
        ("an operation left unbound",
         [(bound.format("save", "soap"), bound.format("unused", "soap"))],
         "operation 'save' of the portType is not bound"),
        ("an operation bound but not declared",
         [(bound.format("load", "soap12"), bound.format("lode", "soap12"))], "operation 'lode' is not in the portType"),
        ("encoded use",
         [('<wsdl:output><soap12:body use="literal"/>', '<wsdl:output><soap12:body use="encoded"/>')], "not literal"),
        ("rpc style",
         [('<soap:binding style="document"', '<soap:binding style="rpc"')], "not document"),
        ("another transport",
         [(f"<soap12:binding style=\"document\" {http}", f"<soap12:binding style=\"document\" {http[:-5]}smtp\"")],
         "transport"),
        ("load and save inputs swapped",
         [(load_in, 'element="wi:Swapping"'), (save_in, load_in), ('element="wi:Swapping"', save_in)],
         "operation 'load' input"),
        ("a SOAP 1.1 address on the SOAP 1.2 port",
         [("<soap12:address location", "<soap:address location")], "no SOAP 1.2 address"),
        ("a port on a missing binding",
         [('binding="wi:WorkInstructionsSoap12"', 'binding="wi:WorkInstructionsSoap13"')], "names no binding"),
        ("an undeclared prefix",
         [('message="wi:SaveRequest"', 'message="tns:SaveRequest"')], "prefix 'tns'"),
        ("not well-formed",
         [("</wsdl:definitions>", "</wsdl:definition>")], "not well-formed"),
    ]


def self_test(wsdl, namespace, operations):
    with open(wsdl, encoding="utf-8") as source:
        text = source.read()
    passed = failed = 0

    def verdict(ok, what, detail):
        nonlocal passed, failed
        passed += ok
        failed += not ok
        print(f"{'ok' if ok else 'FAILED'}: {what}{'' if ok else ': ' + detail}")

    with tempfile.TemporaryDirectory() as work:
        for name in os.listdir(os.path.dirname(os.path.abspath(wsdl))):
            if name.endswith(".xsd"):
                shutil.copy(os.path.join(os.path.dirname(os.path.abspath(wsdl)), name), work)
        copy = os.path.join(work, os.path.basename(wsdl))

        with open(copy, "w", encoding="utf-8") as out:
            out.write(text)
        problems = check(copy, namespace, operations)
        verdict(not problems, "the unbroken copy passes", "; ".join(problems))

        for what, edits, expected in faults(namespace):
            broken, missing = text, []
            for old, new in edits:
                if old not in broken:
                    missing.append(old)
                broken = broken.replace(old, new, 1)
            if missing:
                verdict(False, what, f"the WSDL no longer holds {missing[0]!r}")
                continue
            with open(copy, "w", encoding="utf-8") as out:
                out.write(broken)
            problems = check(copy, namespace, operations)
            verdict(any(expected in p for p in problems), what,
                    f"expected a problem with {expected!r}, got {problems}")
    print(f"{passed} passed, {failed} failed")
    return failed == 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("wsdl")
    parser.add_argument("--namespace", default="http://velmora.com/Schemas/MES/2010-09/WorkInstructions")
    parser.add_argument("--operation", nargs=3, action="append", default=[], metavar=("NAME", "INPUT", "OUTPUT"))
    parser.add_argument("--self-test", action="store_true")
    args = parser.parse_args()
    operations = [tuple(o) for o in args.operation]
    if args.self_test:
        return 0 if self_test(args.wsdl, args.namespace, operations) else 1
    checker = Checker(args.wsdl)
    problems = checker.run(args.namespace, operations)
    for problem in problems:
        print(f"{args.wsdl}: {problem}")
    if problems:
        return 1
    print(f"{args.wsdl}: ok: {checker.summary}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
