# Shared by the wixml test scripts: running the tool and checking what it said.
# The sourcing script sets wixml and work; failures counts what failed.
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Runs the tool; leaves its exit status in $status and its output in out/err.
run() { "$wixml" "$@" >"$work/out" 2>"$work/err"; status=$?; }
expect_status() { [ "$status" -eq "$1" ] || fail "$2: exit status $status, expected $1; stderr: $(head -c 400 "$work/err")"; }
# A whole line, read as an extended regular expression.
expect_line() { grep -qxE -- "$1" "$work/$2" || fail "no line matching '$1' in std$2: $(head -c 600 "$work/$2")"; }
expect_empty() { [ ! -s "$work/$1" ] || fail "$2: std$1 should be empty: $(head -c 400 "$work/$1")"; }
line_of() { grep -nF -- "$2" "$1" | head -n1 | cut -d: -f1; }
# 1-based column where the text starts on its line.
column_of() { grep -F -- "$2" "$1" | head -n1 | awk -v text="$2" '{ print index($0, text) }'; }
