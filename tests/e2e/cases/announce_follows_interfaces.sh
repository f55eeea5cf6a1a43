#!/bin/bash
# The announcer follows its host's interfaces: one that comes after it
# started is joined and answered on within 5 s, one that changes address is
# answered with the new one, one that goes is left, one line each.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "the interface list is the platform's; announce_found proves the Windows build answers"
: "${ANNOUNCER:?set ANNOUNCER to the webfind-announce binary}"
network_up no-route
host_behind_links announcer 1 "$ANNOUNCER" --name "Host"
wait_for "$WORK/announcer.log" '^webfind-announce: announcing "Host" on vb1 \(10\.1\.0\.2\)'
there() { nsenter -t "$HOST_PID" -n "$@"; }

# A second link comes.
ip link add va2 type veth peer name vb2 || fail "cannot make the link va2"
ip addr add 10.2.0.1/24 dev va2
ip link set va2 up
ip link set vb2 netns "$HOST_PID"
there ip addr add 10.2.0.2/24 dev vb2
there ip link set vb2 up
start=$(date +%s%N)
wait_for "$WORK/announcer.log" '^webfind-announce: now answering on vb2 \(10\.2\.0\.2\)$'
ms=$((($(date +%s%N) - start) / 1000000))
[ "$ms" -lt 5000 ] || fail "the new interface was joined after $ms ms"
run_webfind -n -i va2
expect_status 0
expect_out 'Name:Host URL:http://10.2.0.2/\n'

# vb1 is renumbered.
there ip addr del 10.1.0.2/24 dev vb1
there ip addr add 10.1.0.3/24 dev vb1
wait_for "$WORK/announcer.log" '^webfind-announce: vb1 is now 10\.1\.0\.3$'
run_webfind -n -i va1
expect_status 0
expect_out 'Name:Host URL:http://10.1.0.3/\n'

# The second link goes.
ip link del va2
wait_for "$WORK/announcer.log" '^webfind-announce: vb2 is gone: no longer answering there$'
pass
