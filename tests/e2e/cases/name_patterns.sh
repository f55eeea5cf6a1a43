#!/bin/bash
# Name patterns choose what is listed, opened and put in JSON, ignoring the
# case of ASCII letters; no match exits 1 with nothing on standard output.
# --first takes the first matching answer alone.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up
device printer --from 127.0.0.5 --name "Office Printer"
device camera --from 127.0.0.6 --name "Living room CAMERA"
device router --from 127.0.0.7 --name "Router"

run_webfind -n camera
expect_status 0
expect_out 'Name:Living room CAMERA URL:http://127.0.0.6/\n'

run_webfind printer ROUTER
expect_status 0
expect_out 'Name:Office Printer URL:http://127.0.0.5/\nName:Router URL:http://127.0.0.7/\n'
expect_opened http://127.0.0.5/ http://127.0.0.7/

run_webfind --json Cam
expect_status 0
[ "$(jq -r 'length' "$OUT")" = 1 ] && [ "$(jq -r '.[0].address' "$OUT")" = 127.0.0.6 ] || fail "JSON: $(cat "$OUT")"

run_webfind -n nothing-like-it
expect_status 1
expect_out ''
# JSON stays JSON: a script reading it gets the empty array, and the status.
run_webfind --json nothing-like-it
expect_status 1
expect_out '[]\n'
run_webfind --json --first nothing-like-it
expect_status 1
expect_out '[]\n'

: > "$WORK/opened"
run_webfind --first printer
expect_status 0
expect_out 'Name:Office Printer URL:http://127.0.0.5/\n'
expect_opened http://127.0.0.5/

run_webfind --first -n
expect_status 0
[ "$(wc -l < "$OUT")" -eq 1 ] || fail "--first listed $(wc -l < "$OUT") devices"

run_webfind --first -n nothing-like-it
expect_status 1
expect_out ''
[ -s "$ERR" ] && fail "a script was told more than its status: $(cat "$ERR")"

# A person at a terminal is told how many devices did answer.
if ! under_wine && command -v script > /dev/null; then
    env "${RUN_ENV[@]}" script -qec "$WEBFIND -n nothing-like-it" "$WORK/typescript" > "$WORK/terminal" 2>&1
    grep -q 'webfind: no device matched; [0-9]* devices answered' "$WORK/terminal" ||
        fail "no count on a terminal: $(cat "$WORK/terminal")"
fi
pass
