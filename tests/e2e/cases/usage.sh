#!/bin/bash
# Usage errors, --help and --version.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

run_webfind --wait nonsense
expect_status 2
expect_out ''
[ "$(wc -l < "$ERR")" -eq 1 ] || fail "expected one line: $(cat "$ERR")"
grep -q -- "--help" "$ERR" || fail "no pointer to --help: $(cat "$ERR")"
run_webfind --json -i nosuch0
expect_status 2
grep -q "unknown interface 'nosuch0'" "$ERR" || fail "unknown interface not named: $(cat "$ERR")"
run_webfind --help
expect_status 0
grep -q -- '--json' "$OUT" || fail "help lacks --json"
run_webfind --version
expect_status 0
grep -q '^webfind [0-9]' "$OUT" || fail "bad version line: $(cat "$OUT")"
pass
