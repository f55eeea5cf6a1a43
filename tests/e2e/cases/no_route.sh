#!/bin/bash
# No route for multicast: "Socket Send Err" and exit -1, nothing opened; with
# -v one line on standard error says why and suggests an interface.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up no-route
run_webfind
expect_status 255
expect_out 'Socket Send Err\n'
expect_opened
[ -s "$ERR" ] && fail "standard error without -v: $(cat "$ERR")"

# An interface that could carry the probe, but no route to it.
ip link add eth9 type veth peer name eth9peer || fail "cannot make an interface"
ip addr add 10.7.0.1/24 dev eth9
ip link set eth9 up
ip link set eth9 multicast on
run_webfind -v
expect_status 255
expect_out 'Socket Send Err\n'
grep -q 'no route for multicast' "$ERR" || fail "no hint: $(cat "$ERR")"
grep -q 'Next: webfind -i eth9' "$ERR" || fail "no interface suggested: $(cat "$ERR")"
pass
