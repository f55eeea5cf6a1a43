#!/bin/bash
# -v gives each datagram its verdict on standard error.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up
printf 'sFz \003\000\000\000' > "$WORK/short.bin"
device bad --from 127.0.0.5 --raw "$WORK/short.bin" --probes 1
device good --from 127.0.0.6 --name "Good"
run_webfind -v --no-open
expect_status 0
expect_out 'Name:Good URL:http://127.0.0.6/\n'
grep -q '^webfind: 127.0.0.5:3576 8 bytes: rejected: too short$' "$ERR" || fail "no rejection verdict: $(cat "$ERR")"
grep -q '^webfind: 127.0.0.6:3576 [0-9]* bytes: accepted$' "$ERR" || fail "no accepted verdict: $(cat "$ERR")"
grep -q '^webfind: 127.0.0.6:3576 [0-9]* bytes: duplicate of an earlier answer$' "$ERR" || fail "no duplicate verdict: $(cat "$ERR")"
pass
