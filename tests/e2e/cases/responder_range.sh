#!/bin/bash
# The simulated device says at start how many of its devices can answer
# when its range runs past this host's addresses (from 127.255.255.0, 980
# devices: the 255 up to the end of 127/8 less its broadcast address), and
# counts the answers the system refuses to send, instead of failing them in
# silence; webfind finds those that can answer.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up
device range --count 980 --from 127.255.255.0
grep -q '^listening on 224\.0\.0\.138:3576 as 127\.255\.255\.0 (980 devices; only 255 can answer' "$WORK/range.log" ||
    fail "the start line: $(head -1 "$WORK/range.log")"
run_webfind -n
expect_status 0
[ "$(grep -c '^Name:' "$OUT")" -eq 255 ] || fail "$(grep -c '^Name:' "$OUT") devices found"
wait_for "$WORK/range.log" '^refused: [0-9]+ sends so far'
pass
