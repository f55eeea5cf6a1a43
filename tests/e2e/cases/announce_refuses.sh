#!/bin/bash
# The announcer answers only what cannot make it an amplifier: a probe to
# the group from its own link is answered; one sent to the host's own
# address, and one to the group from a source beyond the link (TTL 2, as
# from behind a router), are not; each refusal is counted by its rule and,
# with -v, said with its reason.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "the rules are the same code on Windows; announce_found proves the Windows build answers"
: "${ANNOUNCER:?set ANNOUNCER to the webfind-announce binary}"
command -v python3 > /dev/null || skip "python3 is not installed"
network_up no-route
ip addr add 10.9.9.9/32 dev lo
host_behind_links announcer 1 "$ANNOUNCER" --name "Host" -v
wait_for "$WORK/announcer.log" '^webfind-announce: announcing '
probe() { python3 "$E2E_DIR/prober.py" "$@"; }

[ "$(probe multicast 10.1.0.1 10.1.0.1)" = "answers 1" ] || fail "a probe from the link was not answered: $(cat "$WORK/announcer.log")"
[ "$(probe unicast 10.1.0.1 10.1.0.2)" = "answers 0" ] || fail "a unicast probe was answered"
[ "$(probe multicast 10.9.9.9 10.1.0.1 2)" = "answers 0" ] || fail "a probe from beyond the link was answered"
wait_for "$WORK/announcer.log" 'refused: sent to this host.s address, not to the group$'
wait_for "$WORK/announcer.log" '^webfind-announce: datagram from 10\.9\.9\.9:[0-9]+ on vb1: refused: its source is not on the link'
kill -TERM "$HOST_PID"
wait "$HOST_PID"
grep -qE '^webfind-announce: stopped; answered 1 \([0-9]+ bytes\); refused 2: 1 sent to this host.s address, 1 off the link, 0 not a finder.s address, 0 not a probe' \
    "$WORK/announcer.log" || fail "the counts: $(tail -1 "$WORK/announcer.log")"
pass
