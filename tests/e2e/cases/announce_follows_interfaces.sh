#!/bin/bash
# The announcer follows its host's interfaces as the system tells of them: an
# interface named with -i that is not there yet is said to be waited for; one
# that comes is joined and answered on within 5 s; one renumbered is answered
# with its new address, and the group's membership moves with it (ip maddr:
# one, not one per address it had); one taken down and up again is told as
# down, then answered again; one that goes is left; a host renamed is
# followed with its links; and at exit no membership is left.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "the interface list is the platform's; announce_found proves the Windows build answers"
: "${ANNOUNCER:?set ANNOUNCER to the webfind-announce binary}"
network_up no-route
# A shell keeps the host's namespace after the announcer's exit.
# shellcheck disable=SC2016  # expanded by that shell
HOST_NAME=first host_behind_links announcer 1 sh -c '"$1" --name "{host}" -i vb1 -i vb2 & echo $! > "$0"; wait; sleep 30' \
    "$WORK/announcer.pid" "$ANNOUNCER"
wait_for "$WORK/announcer.log" '^webfind-announce: announcing "first" on vb1 \(10\.1\.0\.2\)'
wait_for "$WORK/announcer.log" '^webfind-announce: waiting for vb2 \(no interface of that name or address is up with an IPv4 address yet\)'
there() { nsenter -t "$HOST_PID" -n "$@"; }
memberships() { there ip maddr show dev "$1" | grep -c 'inet  *224\.0\.0\.138'; }

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
expect_out 'Name:first URL:http://10.2.0.2/\n'

# vb1 is renumbered, twice.
for n in 3 4; do
    there ip addr flush dev vb1
    there ip addr add "10.1.0.$n/24" dev vb1
    wait_for "$WORK/announcer.log" "^webfind-announce: vb1 is now 10\\.1\\.0\\.$n$"
done
[ "$(memberships vb1)" -eq 1 ] || fail "memberships on vb1 after renumbering: $(there ip maddr show dev vb1)"
run_webfind -n -i va1
expect_status 0
expect_out 'Name:first URL:http://10.1.0.4/\n'

# vb1 is taken down and up again; then the host is renamed, which the next
# change of its links brings.
there ip link set vb1 down
wait_for "$WORK/announcer.log" '^webfind-announce: vb1 is down: answering there again once it is up$'
nsenter -t "$HOST_PID" -u hostname second
there ip link set vb1 up
wait_for "$WORK/announcer.log" '^webfind-announce: this host is now named "second"$'
wait_for "$WORK/announcer.log" '^webfind-announce: now answering on vb1 \(10\.1\.0\.4\)$'
run_webfind -n -i va1
expect_status 0
expect_out 'Name:second URL:http://10.1.0.4/\n'

# The second link goes.
ip link del va2
wait_for "$WORK/announcer.log" '^webfind-announce: vb2 is gone: no longer answering there$'

announcer=$(cat "$WORK/announcer.pid")
kill -TERM "$announcer"
for _ in $(seq 100); do kill -0 "$announcer" 2> /dev/null || break; sleep 0.05; done
grep -q '^webfind-announce: stopped; ' "$WORK/announcer.log" || fail "it did not stop: $(tail -1 "$WORK/announcer.log")"
[ "$(memberships vb1)" -eq 0 ] || fail "memberships left on vb1 at exit: $(there ip maddr show dev vb1)"
pass
