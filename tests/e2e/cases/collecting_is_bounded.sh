#!/bin/bash
# Junk that never stops for long does not keep the run going past its
# collecting limit.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up
printf 'junk' > "$WORK/junk.bin"
device chatty --from 127.0.0.7 --raw "$WORK/junk.bin" --probes 1 --repeat 100 --every 150
device good --from 127.0.0.8 --name "Good" --probes 1
run_webfind
expect_status 0
expect_out 'Name:Good URL:http://127.0.0.8/\n'
expect_opened http://127.0.0.8/
[ "$ELAPSED_MS" -lt 9000 ] || fail "collecting ran ${ELAPSED_MS} ms despite its limit"
[ "$ELAPSED_MS" -ge 4500 ] || fail "ended after ${ELAPSED_MS} ms, before the chatter stopped or the limit"
pass
