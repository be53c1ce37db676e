#!/usr/bin/env bash
# The manual page and the --help texts name the same commands and options, so
# that neither can change without the other.
#   wixml_manual_test.sh WIXML MANUAL_PAGE
set -u
wixml=$1 manual=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

help=$("$wixml" --help) || fail "wixml --help"
# Commands: the indented words under "Commands:" in the tool's help.
commands=$(printf '%s\n' "$help" | sed -n '/^Commands:/,/^$/p' | sed -n 's/^  \([a-z][a-z]*\) .*/\1/p' | sort -u)
[ -n "$commands" ] || fail "no commands found in wixml --help"
for command in $commands; do
  help+=$'\n'"$("$wixml" "$command" --help)" || fail "wixml $command --help"
done

# In roff a dash on the page is written \-.
page=$(sed 's/\\-/-/g' "$manual")
options() { grep -oE -- '(^|[^a-z-])(--[a-z][a-z-]*|-h)\b' | grep -oE -- '--?[a-z][a-z-]*' | sort -u; }
help_options=$(printf '%s\n' "$help" | options)
page_options=$(printf '%s\n' "$page" | options)
page_commands=$(printf '%s\n' "$page" | sed -n '/^\.SH COMMANDS/,/^\.SH /p' | sed -n 's/^\.B \([a-z][a-z]*\)$/\1/p' | sort -u)

for option in $help_options; do
  printf '%s\n' "$page_options" | grep -qxF -- "$option" || fail "option $option of --help is not in the manual page"
done
for option in $page_options; do
  printf '%s\n' "$help_options" | grep -qxF -- "$option" || fail "option $option of the manual page is in no --help"
done
for command in $commands; do
  printf '%s\n' "$page_commands" | grep -qxF -- "$command" || fail "command $command is not described under COMMANDS"
done
for command in $page_commands; do
  printf '%s\n' "$commands" | grep -qxF -- "$command" || fail "the manual page describes $command, which --help does not list"
done

# The page renders without complaint.
if command -v groff >/dev/null; then
  warnings=$(groff -man -Tutf8 -ww -z "$manual" 2>&1)
  [ -z "$warnings" ] || fail "groff warns: $warnings"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "manual page and --help agree: commands $(echo $commands), options $(echo $help_options)"
