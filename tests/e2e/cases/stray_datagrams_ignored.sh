#!/bin/bash
# An empty and an oversized datagram are ignored; the device after them is
# still found.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up
: > "$WORK/empty.bin"
head -c 2000 /dev/zero > "$WORK/big.bin"
device empty --from 127.0.0.9 --raw "$WORK/empty.bin" --probes 1
device big --from 127.0.0.10 --raw "$WORK/big.bin" --probes 1
device good --from 127.0.0.11 --name "Still here" --after 50
run_webfind
expect_status 0
expect_out 'Name:Still here URL:http://127.0.0.11/\n'
expect_opened http://127.0.0.11/
pass
