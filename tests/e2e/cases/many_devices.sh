#!/bin/bash
# A correctness test, not a timing test: 3000 devices answering each probe
# at the same moment are all found, each once, in address order.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up
device crowd --from 127.0.1.1 --count 3000 --name "Device {addr}"
run_webfind --no-open
expect_status 0
[ "$(grep -c '^Name:Device ' "$OUT")" -eq 3000 ] || fail "found $(grep -c '^Name:' "$OUT") of 3000 devices"
[ "$(sort -u "$OUT" | wc -l)" -eq 3000 ] || fail "a device was listed twice"
head -1 "$OUT" | grep -qx 'Name:Device 127.0.1.1 URL:http://127.0.1.1/' || fail "first line: $(head -1 "$OUT")"
tail -1 "$OUT" | grep -qx 'Name:Device 127.0.12.184 URL:http://127.0.12.184/' || fail "last line: $(tail -1 "$OUT")"
pass
