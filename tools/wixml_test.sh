#!/usr/bin/env bash
# wixml as a user meets it: on the bundled examples, on hand-broken copies of
# them, and with wrong usage.
#   wixml_test.sh WIXML EXAMPLES_DIR WORK_DIR VERSION
set -u
wixml=$1 examples=$2 work=$3 version=$4
rm -rf "$work" && mkdir -p "$work" || exit 1
. "$(dirname "$0")/wixml_test_support.sh"

declare -A class_of=(
  [load-request]=LoadWorkInstructionDocInput [load-reply]=LoadedObjectsResponse
  [save-request]=SaveWorkInstructionDocInput [save-reply]=SavedObjectsResponse)

# ---- the examples are valid, and say what the API builds ----------------------
run check "$examples"/*.xml
expect_status 0 "check examples"
expect_empty err "check examples"
for name in "${!class_of[@]}"; do
  expect_line "$examples/$name\.xml: ok: ${class_of[$name]}, [1-9][0-9]* objects" out
done
# The request, two loadedInfo records, and the two model objects each of them holds.
expect_line "$examples/load-request\.xml: ok: LoadWorkInstructionDocInput, 7 objects" out

if command -v xmllint >/dev/null; then
  xmllint --noout "$examples"/*.xml || fail "xmllint rejects an example"
else
  echo "note: xmllint not installed, namespace well-formedness not checked"
fi

for name in "${!class_of[@]}"; do
  "$wixml" example "$name" >"$work/$name.built" || fail "example $name"
  "$wixml" format "$examples/$name.xml" >"$work/$name.canonical" || fail "format $name"
  cmp -s "$work/$name.built" "$work/$name.canonical" || fail "examples/$name.xml differs from 'wixml example $name'"
  "$wixml" format --indent 2 "$examples/$name.xml" >"$work/$name.indented" || fail "format --indent 2 $name"
  [ "$(wc -l <"$work/$name.indented")" -gt 2 ] || fail "format --indent 2 $name is not indented"
  "$wixml" format - <"$work/$name.indented" | cmp -s - "$work/$name.canonical" ||
    fail "the indented $name does not read back as the canonical form"
  if command -v xmllint >/dev/null; then
    xmllint --noout "$work/$name.canonical" "$work/$name.indented" || fail "xmllint rejects the output for $name"
  fi
done

run check <"$examples/save-reply.xml"
expect_status 0 "check from standard input"
expect_line "<stdin>: ok: SavedObjectsResponse, 2 objects" out

# A message element pieces into the file (behind a long SOAP header) is found
# and read, from a file and from a pipe; an error far into it keeps its place.
{
  printf '<e:Envelope xmlns:e="http://schemas.xmlsoap.org/soap/envelope/"><e:Header>'
  for i in $(seq 1 4000); do printf '<h%d>%040d</h%d>' "$i" 0 "$i"; done
  printf '</e:Header><e:Body>\n'
  sed -n '/<wi:SavedObjectsResponse/,$p' "$examples/save-reply.xml"
  printf '</e:Body></e:Envelope>\n'
} >"$work/long-header.xml"
grep -q SavedObjectsResponse "$work/long-header.xml" || fail "the long-header message has no message element"
run check "$work/long-header.xml"
expect_status 0 "check a message element past the first piece"
expect_line ".*long-header\.xml: ok: SavedObjectsResponse, 2 objects, in a SOAP 1\.1 envelope" out
run check - < <(cat "$work/long-header.xml")
expect_status 0 "check a message element past the first piece, from a pipe"
sed -e 's|<wi:SavedObjectsResponse|<wi:SavedObjectsResponse bogus="1"|' "$work/long-header.xml" | sed -e 's|</wi:SavedObjectsResponse>|<wi:stray/></wi:SavedObjectsResponse>|' >"$work/long-header-bad.xml"
run check - < <(cat "$work/long-header-bad.xml")
expect_status 1 "a stray element past the first piece, from a pipe"
stray_line=$(line_of "$work/long-header-bad.xml" '<wi:stray/>')
expect_line "<stdin>:$stray_line:$(column_of "$work/long-header-bad.xml" '<wi:stray/>'): error: .*stray.*" err

# Past a reader limit a message is refused, naming the limit, where the element
# starts; the option of that limit lets it through.
{
  printf '<x:objectData xmlns:x="urn:any" type="T"\n  '
  for i in $(seq 1 300); do printf ' a%d="%d"' "$i" "$i"; done
  printf '/>\n'
} >"$work/many-attributes.xml"
run check --as CreateInput "$work/many-attributes.xml"
expect_status 1 "check over the attribute limit"
expect_line ".*many-attributes\.xml:1:1: error: .*more attributes than the limit of 256, namespace declarations included \(raise the limit with --max-attributes N\)" err
run check --as CreateInput --max-attributes 400 "$work/many-attributes.xml"
expect_status 0 "check with --max-attributes 400"
run check --as CreateInput --max-attributes 400 --max-names 50 "$work/many-attributes.xml"
expect_status 1 "check over the distinct-name limit"
expect_line ".*error: .*more distinct names than the limit of 50 .* \(raise the limit with --max-names N\)" err
run check --max-depth 1 "$examples/save-request.xml"
expect_status 1 "check over --max-depth 1"
expect_line ".*error: .*nested deeper than the limit of 1 \(raise the limit with --max-depth N\)" err
for bad in 0 -1 x 99999999999999999999; do
  run check --max-depth "$bad" "$examples/save-request.xml"
  expect_status 2 "--max-depth $bad"
done

# What format writes in an envelope, check reads at the same depth limit: a
# CreateInput of n compound levels lies 1 + 2n deep, an envelope adds two.
nested_input() {
  local levels=$1 i
  printf '<x:CreateInput xmlns:x="http://velmora.com/Schemas/MES/2010-09/WorkInstructions">'
  for ((i = 0; i < levels; i++)); do printf '<x:compoundCreateInput key="k"><x:value>'; done
  for ((i = 0; i < levels; i++)); do printf '</x:value></x:compoundCreateInput>'; done
  printf '</x:CreateInput>\n'
}
for levels in 126 127; do
  nested_input "$levels" >"$work/nested-$levels.xml"
  for options in "--envelope soap11" "--envelope soap12 --indent 1"; do
    # shellcheck disable=SC2086
    run format $options "$work/nested-$levels.xml"
    if [ "$levels" -eq 126 ]; then
      expect_status 0 "format $options of $levels levels"
      cp "$work/out" "$work/enveloped.xml"
      run check "$work/enveloped.xml"
      expect_status 0 "check of what format $options wrote at $levels levels"
    else
      expect_status 1 "format $options of $levels levels, past the limit once enveloped"
      expect_line ".*error: .*limit of 256 levels.*" err
    fi
  done
done

# A fragment is read with --as; the object count is exact.
printf '<x:objectData xmlns:x="urn:any" type="T">\n  <x:intProps key="k" value="1"/>\n</x:objectData>\n' >"$work/fragment.xml"
run check --as CreateInput "$work/fragment.xml"
expect_status 0 "check --as"
expect_line "$work/fragment.xml: ok: CreateInput, 2 objects" out
# Model objects count one each, in a tag and in a tag array: 1 + (1 + 2) + (1 + 1).
printf '<x:objectData xmlns:x="urn:any" type="T"><x:tagArrayProps key="t"><x:value uid="a"/><x:value uid="b"/></x:tagArrayProps><x:tagProps key="u"><x:value uid="c"/></x:tagProps></x:objectData>\n' >"$work/tags.xml"
run check --as CreateInput "$work/tags.xml"
expect_line "$work/tags.xml: ok: CreateInput, 6 objects" out
# It is written under its own element's name, which no envelope can hold.
run format --as CreateInput "$work/fragment.xml"
expect_status 0 "format --as"
expect_line "<ns1:objectData xmlns:ns1=\"[^\"]*\" type=\"T\"><ns1:intProps key=\"k\" value=\"1\"/></ns1:objectData>" out
run format --as CreateInput --envelope soap11 "$work/fragment.xml"
expect_status 1 "format --as a part in an envelope"
expect_line ".*<objectData> read as CreateInput is no message.*--envelope none.*" err
run check "$work/fragment.xml"
expect_status 1 "fragment without --as"
expect_line "$work/fragment.xml:1:1: error: .*objectData.*" err
# A message is read only from its own element, --as or not.
run check --as SavedObjectsResponse "$examples/load-reply.xml"
expect_status 1 "check --as another message"
expect_line "$examples/load-reply\.xml:[0-9]+:1: error: The root element <LoadedObjectsResponse> in .* is not a SavedObjectsResponse: expected <SavedObjectsResponse> in http://velmora\.com/Schemas/MES/2010-09/WorkInstructions" err

# ---- what a message lacks is read as empty, and said --------------------------
cat >"$work/lacking.xml" <<'EOF'
<wi:SaveWorkInstructionDocInput xmlns:wi="http://velmora.com/Schemas/MES/2010-09/WorkInstructions">
  <wi:savedObjects>
    <wi:modifiedDCDs transientId="dcd-1" persistentId="" owningObjectTransientId="">
      <wi:objectData>
        <wi:stringProps value="x"/>
      </wi:objectData>
    </wi:modifiedDCDs>
  </wi:savedObjects>
</wi:SaveWorkInstructionDocInput>
EOF
lacking_warnings="$work/lacking.xml:2:3: warning: <savedObjects> lacks the required attribute workInstructionFile; read as empty
$work/lacking.xml:2:3: warning: <savedObjects> lacks the required element targetObject; read as empty
$work/lacking.xml:4:7: warning: <objectData> lacks the required attribute type; read as empty
$work/lacking.xml:5:9: warning: <stringProps> lacks the required attribute key; read as empty"
for command in check format; do
  run $command "$work/lacking.xml"
  expect_status 0 "$command a message that lacks required members"
  [ "$(cat "$work/err")" = "$lacking_warnings" ] || fail "$command: the warnings of lacking.xml are not as expected: $(cat "$work/err")"
done
run format - <"$work/lacking.xml"
[ "$(sed "s|^<stdin>|$work/lacking.xml|" "$work/err")" = "$lacking_warnings" ] ||
  fail "format -: the warnings differ from a file's: $(cat "$work/err")"
# In an envelope, only the Body's message is looked into, not a header block of the same name.
{ printf '<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/"><s:Header>%s</s:Header><s:Body>\n' \
    '<wi:SaveWorkInstructionDocInput xmlns:wi="http://velmora.com/Schemas/MES/2010-09/WorkInstructions"><wi:savedObjects/></wi:SaveWorkInstructionDocInput>'
  cat "$work/lacking.xml"; echo '</s:Body></s:Envelope>'; } >"$work/lacking-enveloped.xml"
run check "$work/lacking-enveloped.xml"
expect_status 0 "check a message that lacks required members, in an envelope"
[ "$(cat "$work/err")" = "$(printf '%s\n' "$lacking_warnings" |
    awk -F: -v OFS=: -v file="$work/lacking-enveloped.xml" '{ $1 = file; $2 += 1; print }')" ] ||
  fail "check: the warnings of lacking-enveloped.xml are not as expected: $(cat "$work/err")"
# An attribute or element that one side lacks is "(none)", also where the other holds it empty.
sed -e 's|<wi:savedObjects>|<wi:savedObjects workInstructionFile=""><wi:targetObject uid=""/>|' \
    -e 's|<wi:objectData>|<wi:objectData type="">|' "$work/lacking.xml" >"$work/filled.xml"
run diff --exact "$work/lacking.xml" "$work/filled.xml"
expect_status 1 "diff of a lacking and a filled message"
[ "$(cat "$work/out")" = 'savedObjects[0].workInstructionFile: (none) -> ""
savedObjects[0].targetObject: (none) -> <targetObject uid=""/>
savedObjects[0].modifiedDCDs[0].objectData.type: (none) -> ""' ] || fail "diff lacking filled: $(cat "$work/out")"
run diff "$work/lacking.xml" - <"$work/lacking.xml"
expect_status 0 "diff of a lacking message with itself"

# ---- broken copies: each error names the place where it happened ---------------
# break NAME EXAMPLE SED-SCRIPT: writes $work/NAME.xml
break_copy() { sed -e "$3" "$examples/$2.xml" >"$work/$1.xml"; cmp -s "$work/$1.xml" "$examples/$2.xml" && fail "$1: sed changed nothing"; }
# expect_error NAME MARKER MESSAGE-REGEX: the error is at the element where MARKER starts
expect_error() {
  local file=$work/$1.xml
  run check "$file"
  expect_status 1 "check $1"
  expect_empty out "check $1"
  expect_line "$file:$(line_of "$file" "$2"):$(column_of "$file" "$2"): error: $3" err
}

break_copy bad-int save-request 's/key="sequence_number" value="30"/key="sequence_number" value="thirty"/'
expect_error bad-int '<wi:intProps key="sequence_number" value="thirty"' '.*"thirty".*'

break_copy bad-date load-reply 's/value="2010-09-01T06:00:00Z"/value="2010-09-31T06:00:00Z"/'
expect_error bad-date '<wi:dateProps key="valid_from"' '.*2010-09-31T06:00:00Z.*'

break_copy bad-double save-request 's|<wi:value>2.75</wi:value>|<wi:value>2,75</wi:value>|'
expect_error bad-double '<wi:value>2,75' '.*"2,75".*'

break_copy bad-code save-reply 's/code="515024"/code="5150240000"/'
expect_error bad-code '<base:partialErrors' '.*5150240000.*'

break_copy unexpected-child save-request 's/wi:modifiedSTXs/wi:modifiedSTX/g'
expect_error unexpected-child '<wi:modifiedSTX ' 'Unexpected node name: modifiedSTX'

break_copy unexpected-deep load-reply 's|<wi:stringProps key="severity" value="stop"/>|&<wi:note text="check twice"/>|'
expect_error unexpected-deep '<wi:note text=' 'Unexpected node name: note'

break_copy unknown-root save-reply 's/wi:SavedObjectsResponse/wi:SavedObjectResponse/g'
expect_error unknown-root '<wi:SavedObjectResponse' '.*SavedObjectResponse.*'

break_copy foreign-root load-request 's|MES/2010-09/WorkInstructions|MES/2009-03/WorkInstructions|'
expect_error foreign-root '<wi:LoadWorkInstructionDocInput' '.*namespace.*'

break_copy mismatched load-request '0,/<\/wi:loadedInfo>/s//<\/wi:loadedInfos>/'
run check "$work/mismatched.xml"
expect_status 1 "check mismatched"
expect_line "$work/mismatched.xml:$(line_of "$work/mismatched.xml" '</wi:loadedInfos>'):[0-9]+: error: .*mismatched tag.*" err

head -n 20 "$examples/save-request.xml" >"$work/truncated.xml"
run check "$work/truncated.xml"
expect_status 1 "check truncated"
expect_line "$work/truncated.xml:[0-9]+:[0-9]+: error: .*" err

# Every file gets its line; one bad file makes the whole check fail.
run check "$examples/save-reply.xml" "$work/bad-int.xml" "$work/missing.xml" "$examples/load-request.xml"
expect_status 1 "check a mix"
[ "$(wc -l <"$work/out")" -eq 2 ] || fail "check a mix: two ok lines expected: $(cat "$work/out")"
[ "$(wc -l <"$work/err")" -eq 2 ] || fail "check a mix: two error lines expected: $(cat "$work/err")"
expect_line "$work/missing.xml: error: .*" err
for command in check format; do
  run $command "$examples"
  expect_status 1 "$command a directory"
  expect_line "$examples: error: is a directory; give the message files in it, such as $examples/\*\.xml" err
done

run format --indent 2 "$work/unexpected-child.xml"
expect_status 1 "format a broken file"
expect_empty out "format a broken file"

# ---- output that cannot be written, and the indented form's last line ----------
if [ -w /dev/full ]; then
  # Trouble (2) for every command, even where 1 would say what was read.
  for args in "format $examples/save-request.xml" "format --indent 2 $examples/load-reply.xml" "example load-reply" \
              "check $examples/save-reply.xml" "check $examples/save-reply.xml $work/bad-int.xml" \
              "diff $examples/save-request.xml $examples/save-reply.xml" "diff --help" "--help"; do
    "$wixml" $args >/dev/full 2>"$work/err"; status=$?
    expect_status 2 "wixml $args >/dev/full"
    expect_line "wixml: cannot write to standard output.*" err
  done
else
  echo "note: /dev/full not available, write errors not checked"
fi

for name in "${!class_of[@]}"; do
  root=$(head -c 200 "$work/$name.canonical" | sed -E 's/^<([^ >]+).*/\1/')
  [ "$(tail -n 1 "$work/$name.indented")" = "</$root>" ] ||
    fail "format --indent 2 $name: the last line is not the root's end tag: $(tail -n 1 "$work/$name.indented")"
done

# ---- usage --------------------------------------------------------------------
usage_error() { run "$@"; expect_status 2 "wixml $*"; expect_empty out "wixml $*"; expect_line "wixml: .*" err; }
usage_error
usage_error frobnicate
usage_error check --strict=yes "$examples/save-reply.xml"
usage_error check --as NoSuchClass "$examples/save-reply.xml"
expect_line "wixml: --as: no class is named 'NoSuchClass'; the classes are: LoadWorkInstructionDocInput, .*, SavedObjectsResponse, .*TagVectorMap.*" err
[ "$(grep -o ', ' "$work/err" | wc -l)" -eq 26 ] || fail "--as NoSuchClass names not all 27 classes: $(cat "$work/err")"
usage_error check --as
usage_error format --indent many "$examples/save-reply.xml"
usage_error format "$examples/save-reply.xml" "$examples/load-request.xml"
usage_error example
usage_error example teapot

for command in "" check format example; do
  run $command --help
  expect_status 0 "wixml $command --help"
  expect_line "Usage: wixml $command.*" out
done
# Every option a command's help shows is one its parser takes, with a value where the help gives one.
for command in check format diff example serve; do
  while read -r option argument; do
    if [ -n "$argument" ]; then
      run $command "$option"
      expect_line "wixml: option '$option' needs a value" err
    else
      run $command "$option" --help
      expect_status 0 "wixml $command $option --help"
    fi
  done < <("$wixml" $command --help | sed -nE 's/^  (--[a-z-]+)( [A-Z]+)?  .*/\1\2/p')
done
run --version
expect_status 0 "wixml --version"
expect_line "wixml $version" out

run format --indent=4 "$examples/save-reply.xml"
expect_status 0 "format --indent=4"
expect_line "        <ns2:created uid=\"Pf0817Photo\"/>" out

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
