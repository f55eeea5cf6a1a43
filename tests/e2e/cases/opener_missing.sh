#!/bin/bash
# Without any opener installed the device is still listed, with one note
# on standard error.
# Under Wine the shell always starts its browser launcher, which then
# finds no browser: the failure cannot reach webfind there.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "Wine's launcher hides a missing opener"
network_up
device d --from 127.0.0.4 --name "Printer"
mkdir -p "$WORK/nothing"
RUN_ENV=("${CLEAN_ENV[@]}" PATH="$WORK/nothing" DISPLAY=:0 XDG_RUNTIME_DIR="$WORK/runtime")
run_webfind
expect_status 0
expect_out 'Name:Printer URL:http://127.0.0.4/\n'
grep -q 'could not open http://127.0.0.4/' "$ERR" || fail "no note on stderr: $(cat "$ERR")"
[ "$(wc -l < "$ERR")" -eq 1 ] || fail "expected one stderr line: $(cat "$ERR")"
pass
