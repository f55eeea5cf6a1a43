#!/bin/bash
# On a terminal (a Windows console, under Wine) a UTF-8 name reads as
# itself whatever the console's code page; bytes that are not UTF-8 are
# left to the code page. Wine draws the console with escape sequences
# and CR LF, so only the names are compared.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

command -v script > /dev/null || skip "script(1) is not installed"
network_up
device cafe --from 127.0.0.6 --name $'Caf\xc3\xa9 \xe2\x82\xac'
device latin --from 127.0.0.7 --name $'Latin \xe9'
LANG=C.UTF-8 script -qec "${RUNNER[*]} $WEBFIND -n" "$WORK/typescript" > "$WORK/terminal" 2>&1 || fail "run on a terminal failed: $(cat "$WORK/terminal")"
grep -q $'Name:Caf\xc3\xa9 \xe2\x82\xac URL:http://127.0.0.6/' "$WORK/terminal" || fail "UTF-8 name garbled: $(od -c "$WORK/terminal" | head)"
under_wine || grep -q $'Name:Latin \xe9 URL:' "$WORK/terminal" || fail "bytes changed on a terminal"
pass
