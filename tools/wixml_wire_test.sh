#!/usr/bin/env bash
# wixml on messages as they travel: SOAP envelopes, faults and headers,
# schema-strict checking and differences between two messages.
#   wixml_wire_test.sh WIXML EXAMPLES_DIR WORK_DIR
set -u
wixml=$1 examples=$2 work=$3
rm -rf "$work" && mkdir -p "$work" || exit 1
. "$(dirname "$0")/wixml_test_support.sh"

soap11=http://schemas.xmlsoap.org/soap/envelope/
soap12=http://www.w3.org/2003/05/soap-envelope
declare -A class_of=(
  [load-request]=LoadWorkInstructionDocInput [load-reply]=LoadedObjectsResponse
  [save-request]=SaveWorkInstructionDocInput [save-reply]=SavedObjectsResponse)

# envelope URI HEADER-CONTENT BODY-FILE: the body file's message (its XML declaration dropped) in an envelope
envelope() {
  printf '<?xml version="1.0"?>\n<soapenv:Envelope xmlns:soapenv="%s">\n' "$1"
  [ -n "$2" ] && printf '  <soapenv:Header>\n    %s\n  </soapenv:Header>\n' "$2"
  printf '  <soapenv:Body>\n'
  sed '/^<?xml/d' "$3"
  printf '  </soapenv:Body>\n</soapenv:Envelope>\n'
}

# ---- envelopes of both versions through check and format ----------------------
for name in "${!class_of[@]}"; do
  "$wixml" format "$examples/$name.xml" >"$work/$name.canonical" || fail "format $name"
  for version in 11 12; do
    case $version in 11) uri=$soap11 ;; 12) uri=$soap12 ;; esac
    dotted="${version:0:1}\.${version:1:1}"
    # As captured: indented, with an optional header block.
    envelope "$uri" '<t:Trace xmlns:t="urn:trace" soapenv:mustUnderstand="0">42</t:Trace>' \
      "$examples/$name.xml" >"$work/$name-$version.xml"
    run check "$work/$name-$version.xml"
    expect_status 0 "check $name in SOAP $version"
    expect_line "$work/$name-$version\.xml: ok: ${class_of[$name]}, [1-9][0-9]* objects, in a SOAP $dotted envelope" out

    # The default keeps the envelope; its message reads back as the same message.
    run format "$work/$name-$version.xml"
    expect_status 0 "format $name in SOAP $version"
    case $version in 11) prefix=soapenv ;; 12) prefix=env ;; esac
    grep -q "^<$prefix:Envelope xmlns:$prefix=\"$uri\"><$prefix:Body><ns1:${class_of[$name]} xmlns:ns1=" "$work/out" ||
      fail "format $name in SOAP $version does not keep the envelope: $(head -c 300 "$work/out")"
    cp "$work/out" "$work/$name-$version.rewritten"
    run format --envelope none "$work/$name-$version.rewritten"
    cmp -s "$work/out" "$work/$name.canonical" || fail "$name in SOAP $version: the message changed in the envelope"

    # Rewrapping, indented, and back.
    run format --indent 2 --envelope "soap$version" "$work/$name.canonical"
    expect_status 0 "format --envelope soap$version $name"
    cp "$work/out" "$work/$name-$version.indented"
    run check "$work/$name-$version.indented"
    expect_line ".*: ok: ${class_of[$name]}, .* in a SOAP $dotted envelope" out
    if command -v xmllint >/dev/null; then
      xmllint --noout "$work/$name-$version.xml" "$work/$name-$version.rewritten" "$work/$name-$version.indented" ||
        fail "xmllint rejects an envelope of $name"
    fi
  done
done
run format --envelope soap12 "$work/save-reply-11.xml"
grep -q "^<env:Envelope xmlns:env=\"$soap12\">" "$work/out" || fail "format --envelope soap12 does not rewrap a SOAP 1.1 message"

# ---- what a receiver refuses in an envelope -------------------------------------
# expect_error FILE MARKER MESSAGE-REGEX: check fails at the element where MARKER starts
expect_error() {
  run check "$1"
  expect_status 1 "check $(basename "$1")"
  expect_empty out "check $(basename "$1")"
  expect_line "$1:$(line_of "$1" "$2"):$(column_of "$1" "$2"): error: $3" err
}
envelope "$soap11" '<a:Auth xmlns:a="urn:auth" soapenv:mustUnderstand="1">token</a:Auth>' \
  "$examples/save-request.xml" >"$work/mandatory-header.xml"
expect_error "$work/mandatory-header.xml" '<a:Auth' '.*\{urn:auth\}Auth.* must be understood.*'

cat >"$work/fault-11.xml" <<XML
<soapenv:Envelope xmlns:soapenv="$soap11">
  <soapenv:Body>
    <soapenv:Fault>
      <faultcode>soapenv:Server</faultcode>
      <faultstring>Save refused</faultstring>
      <detail><e:lock xmlns:e="urn:e">checked out by jdoe</e:lock></detail>
    </soapenv:Fault>
  </soapenv:Body>
</soapenv:Envelope>
XML
expect_error "$work/fault-11.xml" '<soapenv:Fault>' 'SOAP fault: code "soapenv:Server", reason "Save refused", detail "checked out by jdoe"'

cat >"$work/fault-12.xml" <<XML
<env:Envelope xmlns:env="$soap12"><env:Body>
<env:Fault><env:Code><env:Value>env:Sender</env:Value></env:Code>
<env:Reason><env:Text xml:lang="en">Not a save request</env:Text></env:Reason></env:Fault>
</env:Body></env:Envelope>
XML
expect_error "$work/fault-12.xml" '<env:Fault>' 'SOAP fault: code "env:Sender", reason "Not a save request"'

printf '<soapenv:Envelope xmlns:soapenv="%s">\n  <soapenv:Body> </soapenv:Body>\n</soapenv:Envelope>\n' "$soap11" >"$work/empty-body.xml"
expect_error "$work/empty-body.xml" '<soapenv:Body>' '.*Body holds no message.*'
{ envelope "$soap12" '' "$examples/save-reply.xml" | sed '/<\/soapenv:Body>/d'; } >"$work/two-messages.xml"
sed -i "s|</soapenv:Envelope>|$(sed '/^<?xml/d' "$examples/load-request.xml" | tr -d '\n' | sed 's/[&|]/\\&/g')</soapenv:Body></soapenv:Envelope>|" "$work/two-messages.xml"
expect_error "$work/two-messages.xml" '<wi:LoadWorkInstructionDocInput' '.*second element <\{[^}]*\}LoadWorkInstructionDocInput>.*'
envelope "${soap11%/}" '' "$examples/save-reply.xml" >"$work/wrong-namespace.xml"
expect_error "$work/wrong-namespace.xml" '<soapenv:Envelope' '.*is no SOAP envelope.*'

# ---- --strict: the schema's verdict ----------------------------------------------
run check --strict "$examples"/*.xml "$work/save-request-11.xml" "$work/load-reply-12.xml"
expect_status 0 "check --strict on the examples"
expect_empty err "check --strict on the examples"
[ "$(wc -l <"$work/out")" -eq $(( $(ls "$examples"/*.xml | wc -l) + 2 )) ] || fail "check --strict: one ok line per file: $(cat "$work/out")"

# name | example | sed script | marker where the violation is | message
violations=(
  "two-values|save-request|s#<wi:value uid=\"Tq3Wrench0042\"/>#&<wi:value uid=\"Tq3Other\"/>#|<wi:value uid=\"Tq3Other\"|.*value': This element is not expected.*"
  "missing-key|save-request|s#<wi:intProps key=\"sequence_number\" value=\"30\"/>#<wi:intProps value=\"30\"/>#|<wi:intProps value=\"30\"|.*intProps': The attribute 'key' is required but missing.*"
  "missing-type|save-request|s#<wi:objectData type=\"ProcessFlowStep\">#<wi:objectData>#|<wi:objectData>|.*objectData': The attribute 'type' is required but missing.*"
  "no-namespace|save-request|s#<wi:symbols uid=#<symbols uid=#|<symbols uid=|Element 'symbols': This element is not expected.*"
  "other-namespace|load-reply|s#<wi:symbols uid=\"SymWarning001\"/>#<o:symbols xmlns:o=\"urn:other\" uid=\"SymWarning001\"/>#|<o:symbols|Element '\{urn:other\}symbols': This element is not expected.*"
  "repeated-target|save-request|s#<wi:targetObject uid=\"Op0010Gearbox\"/>#&<wi:targetObject uid=\"Op0011\"/>#|<wi:targetObject uid=\"Op0011\"|.*targetObject': This element is not expected.*"
  "text-in-elements|save-request|s#<wi:symbols uid=#stray text&#|<wi:savedObjects |.*savedObjects': Character content other than whitespace is not allowed.*"
  "nil-member|save-request|s#<wi:targetObject uid=\"Op0010Gearbox\"/>#<wi:targetObject xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xsi:nil=\"true\"/>#|<wi:targetObject xmlns:xsi|.*targetObject': The element is not 'nillable'.*"
)
grep -q 'uid="SymWarning001"' "$examples/load-reply.xml" || fail "load-reply.xml changed: other-namespace needs a new marker"
for row in "${violations[@]}"; do
  IFS='|' read -r name example script marker message <<<"$row"
  file=$work/$name.xml
  sed -e "$script" "$examples/$example.xml" >"$file"
  cmp -s "$file" "$examples/$example.xml" && fail "$name: sed changed nothing"
  # The classes accept what the schema refuses, unless a child has no place in them.
  case $name in no-namespace|other-namespace) ;; *)
    run check "$file"; expect_status 0 "check without --strict accepts $name" ;;
  esac
  run check --strict "$file"
  expect_status 1 "check --strict $name"
  expect_line "$file:$(line_of "$file" "$marker"):$(column_of "$file" "$marker"): error: $message" err
  # Inside an envelope the same violation is found, where it is.
  envelope "$soap12" '' "$file" >"$work/$name-12.xml"
  run check --strict "$work/$name-12.xml"
  expect_status 1 "check --strict $name in an envelope"
  expect_line "$work/$name-12.xml:$(line_of "$work/$name-12.xml" "$marker"):$(column_of "$work/$name-12.xml" "$marker"): error: $message" err
done

# Every violation, not the first only.
sed -e 's#<wi:objectData type="ProcessFlowStep">#<wi:objectData>#' "$work/missing-key.xml" >"$work/two-violations.xml"
run check --strict "$work/two-violations.xml" "$examples/save-reply.xml"
expect_status 1 "check --strict two violations"
[ "$(wc -l <"$work/err")" -eq 2 ] || fail "check --strict two violations: two error lines expected: $(cat "$work/err")"
expect_line "$examples/save-reply\.xml: ok: SavedObjectsResponse, 2 objects" out

# UTF-16 without byte order mark or declaration: --strict reads what the plain
# check reads, and says the same as for the UTF-8 text, at the same places.
printf '<a/>' >"$work/tiny.xml"
# source | --as | status of check --strict
strict_texts=(
  "$work/tiny.xml|--as=CreateInput|1"
  "$examples/save-reply.xml||0"
  "$work/missing-key.xml||1"
  "$work/two-violations.xml||1"
)
for row in "${strict_texts[@]}"; do
  IFS='|' read -r source as expected <<<"$row"
  name=$(basename "$source" .xml)
  sed '/^<?xml/d' "$source" >"$work/$name-8.xml"
  run check $as --strict "$work/$name-8.xml"
  expect_status "$expected" "check --strict $name in UTF-8"
  sed "s|$work/$name-8\.xml|FILE|" "$work/out" "$work/err" >"$work/said-8"
  for encoding in UTF-16LE UTF-16BE; do
    file=$work/$name-$encoding.xml
    iconv -f UTF-8 -t "$encoding" "$work/$name-8.xml" >"$file" || fail "iconv to $encoding"
    run check $as --strict "$file"
    expect_status "$expected" "check --strict $name in $encoding"
    sed "s|$file|FILE|" "$work/out" "$work/err" >"$work/said-16"
    cmp -s "$work/said-8" "$work/said-16" ||
      fail "check --strict $name: $encoding says $(cat "$work/said-16"), UTF-8 says $(cat "$work/said-8")"
  done
done
marker='<wi:intProps value="30"'
run check --strict "$work/missing-key-UTF-16BE.xml"
expect_line "$work/missing-key-UTF-16BE\.xml:$(line_of "$work/missing-key-8.xml" "$marker"):$(column_of "$work/missing-key-8.xml" "$marker"): error: .*'key' is required but missing.*" err

# ---- diff ------------------------------------------------------------------------
run diff "$examples/save-request.xml" "$examples/save-request.xml"
expect_status 0 "diff equal"
expect_empty out "diff equal"

# What the reader ignores: prefixes, whitespace, interleaving of kinds, an envelope.
cat >"$work/before.xml" <<'XML'
<wi:SaveWorkInstructionDocInput xmlns:wi="http://velmora.com/Schemas/MES/2010-09/WorkInstructions">
  <wi:savedObjects workInstructionFile="a.wix">
    <wi:targetObject uid="Op1"/>
    <wi:modifiedDCDs transientId="d1" persistentId="" owningObjectTransientId="s1">
      <wi:objectData type="DCD">
        <wi:stringProps key="name" value="Torque"/>
        <wi:intProps key="count" value="42"/>
        <wi:intArrayProps key="order"><wi:value>1</wi:value><wi:value>2</wi:value></wi:intArrayProps>
      </wi:objectData>
    </wi:modifiedDCDs>
    <wi:symbols uid="Sym1"/>
  </wi:savedObjects>
</wi:SaveWorkInstructionDocInput>
XML
cat >"$work/reordered.xml" <<XML
<s:Envelope xmlns:s="$soap11"><s:Body>
<SaveWorkInstructionDocInput xmlns="http://velmora.com/Schemas/MES/2010-09/WorkInstructions"><savedObjects
 workInstructionFile="a.wix"><symbols uid="Sym1"/><modifiedDCDs owningObjectTransientId="s1" persistentId="" transientId="d1"><objectData type="DCD"><intArrayProps key="order"><value>1</value><value>2</value></intArrayProps><intProps value="42" key="count"/><stringProps key="name" value="Torque"/></objectData></modifiedDCDs><targetObject uid="Op1"/></savedObjects></SaveWorkInstructionDocInput>
</s:Body></s:Envelope>
XML
run diff "$work/before.xml" "$work/reordered.xml"
expect_status 0 "diff reordered"
expect_empty out "diff reordered"

run diff "$examples/save-request.xml" "$examples/save-reply.xml"
expect_status 1 "diff of two classes"
expect_line "\(message\): SaveWorkInstructionDocInput -> SavedObjectsResponse" out
run diff "$examples/save-request.xml" "$work/fault-11.xml"
expect_status 2 "diff with a fault"
expect_line "$work/fault-11.xml:[0-9]+:[0-9]+: error: SOAP fault: .*" err

# The comparison itself is the library's (its tests hold the cases); here the
# tool's part: which comparison --exact chooses, and what --as reads.
# A map read as the message itself: its class, not its element's name, types its value.
printf '<e:entry xmlns:e="urn:any" key="k" value="%s"/>\n' -0 >"$work/old.xml"
printf '<e:entry xmlns:e="urn:any" key="k" value="%s"/>\n' 0 >"$work/new.xml"
for row in "DoubleMap|0" "FloatMap|0" "StringMap|1"; do
  IFS='|' read -r class expected <<<"$row"
  run diff --as "$class" "$work/old.xml" "$work/new.xml"
  expect_status "$expected" "diff --as $class -0 -> 0"
done
run diff --exact --as DoubleMap "$work/old.xml" "$work/new.xml"
expect_status 1 "diff --exact --as DoubleMap -0 -> 0"
expect_line "value: -0 -> 0" out

# ---- usage ---------------------------------------------------------------------------
usage_error() { run "$@"; expect_status 2 "wixml $*"; expect_empty out "wixml $*"; expect_line "wixml: .*" err; }
usage_error format --envelope soap13 "$examples/save-reply.xml"
usage_error diff "$examples/save-reply.xml"
usage_error diff --strict "$examples/save-reply.xml" "$examples/save-reply.xml"
usage_error diff --exact=yes "$examples/save-reply.xml" "$examples/save-reply.xml"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
