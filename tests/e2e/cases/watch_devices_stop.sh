#!/bin/bash
# A watch whose devices stop answering says so ("the device seen until
# HH:MM:SS stopped answering"), and judges the empty rounds by what arrived
# in them alone: the answers the device gave before are no "datagrams that
# were no valid answer", which the metrics would contradict.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up
device going --from 127.0.0.31 --name "Goes away" --lifetime 2
run_webfind --watch=1 --duration=6 -v
expect_status 0
grep -q ' up 127\.0\.0\.31 ' "$OUT" || fail "the device never came up: $(cat "$OUT")"
grep -q ' down 127\.0\.0\.31 ' "$OUT" || fail "the device never went: $(cat "$OUT")"
grep -qE '^webfind: the device seen until [0-9]{2}:[0-9]{2}:[0-9]{2} stopped answering\.$' "$ERR" ||
    fail "the devices that went were not said: $(cat "$ERR")"
grep -q 'none was a valid answer' "$ERR" && fail "a cause that is not there: $(cat "$ERR")"
[ "$(grep -c 'stopped answering' "$ERR")" -eq 1 ] || fail "said more than once: $(cat "$ERR")"
pass
