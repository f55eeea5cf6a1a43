#!/bin/bash
# Junk that never stops for long does not keep the run going past its
# collecting limit: the run ends while the chatter (300 datagrams, 50 ms
# apart, well within the quiet wait) still goes on.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up
printf 'junk' > "$WORK/junk.bin"
device chatty --from 127.0.0.7 --raw "$WORK/junk.bin" --probes 1 --repeat 300 --every 50
device good --from 127.0.0.8 --name "Good" --probes 1
run_webfind -v
expect_status 0
expect_out 'Name:Good URL:http://127.0.0.8/\n'
expect_opened http://127.0.0.8/
junk=$(grep -c '^webfind: 127.0.0.7:.* rejected' "$ERR")
[ "$junk" -lt 300 ] || fail "collecting went on until the chatter stopped"
[ "$junk" -ge 10 ] || fail "ended after $junk junk datagrams, before its limit"
pass
