#!/bin/bash
# No route for multicast: "Socket Send Err" and exit -1, nothing opened, and
# always one line on standard error that says why and, where an interface
# could carry the probe, names it. With --json the failure line goes to
# standard error too: standard output holds only JSON.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up no-route
run_webfind
expect_status 255
expect_out 'Socket Send Err\n'
expect_opened
[ "$(wc -l < "$ERR")" -eq 1 ] || fail "not one line on standard error: $(cat "$ERR")"
grep -q '^webfind: could not send the probe: .*no route for multicast' "$ERR" || fail "no reason: $(cat "$ERR")"

# An interface that could carry the probe, but no route to it.
ip link add eth9 type veth peer name eth9peer || fail "cannot make an interface"
ip addr add 10.7.0.1/24 dev eth9
ip link set eth9 up
ip link set eth9 multicast on
run_webfind
expect_status 255
expect_out 'Socket Send Err\n'
grep -q 'Next: webfind -i eth9' "$ERR" || fail "no interface suggested: $(cat "$ERR")"

run_webfind --json
expect_status 255
expect_out ''
grep -qx 'Socket Send Err' "$ERR" || fail "the failure line is not on standard error: $(cat "$ERR")"
grep -q '^webfind: could not send the probe: ' "$ERR" || fail "no reason with --json: $(cat "$ERR")"
pass
