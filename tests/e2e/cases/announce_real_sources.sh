#!/bin/bash
# Only an address and port a finder can have is answered: probes from the
# subnet's network address, from port 0 and from a system service's port
# (53) are refused and counted, and spend nothing of the budget: with one
# answer a second to an address, the same address from a finder's port is
# answered right after them. Under Wine, the Windows build announces here
# and the probes come from behind the link.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

: "${ANNOUNCER:?set ANNOUNCER to the webfind-announce binary}"
command -v python3 > /dev/null || skip "python3 is not installed"
network_up no-route
if under_wine; then
    host_behind_links finder 1 sleep 60
    probe() { nsenter -t "$HOST_PID" -n python3 "$E2E_DIR/prober.py" "$@"; }
    nsenter -t "$HOST_PID" -n ip route add 224.0.0.0/4 dev vb1
    "${RUNNER[@]}" "$ANNOUNCER" --name "Host" -v --per-source 1 > "$WORK/announcer.log" 2>&1 &
    PIDS+=("$!")
    finder=10.1.0.2 link=va1
else
    host_behind_links announcer 1 "$ANNOUNCER" --name "Host" -v --per-source 1
    probe() { python3 "$E2E_DIR/prober.py" "$@"; }
    ip route add 224.0.0.0/4 dev va1
    finder=10.1.0.1 link=vb1
fi
wait_for "$WORK/announcer.log" "^webfind-announce: (announcing|now answering) .*$link"

probe raw 10.1.0.0 40000 "$finder"
probe raw "$finder" 0 "$finder"
probe raw "$finder" 53 "$finder"
[ "$(probe multicast "$finder" "$finder")" = "answers 1" ] || fail "a finder was not answered: $(cat "$WORK/announcer.log")"
refused="on $link: refused: its source is no address and port a finder has"
wait_for "$WORK/announcer.log" "^webfind-announce: datagram from 10\.1\.0\.0:40000 $refused"
wait_for "$WORK/announcer.log" "^webfind-announce: datagram from ${finder//./\\.}:0 $refused"
wait_for "$WORK/announcer.log" "^webfind-announce: datagram from ${finder//./\\.}:53 $refused"
under_wine && pass
kill -TERM "$HOST_PID"
wait "$HOST_PID"
grep -qE '^webfind-announce: stopped; answered 1 \([0-9]+ bytes\); refused 3: 0 sent to this host.s address, 0 off the link, 3 not a finder.s address, ' \
    "$WORK/announcer.log" || fail "the counts: $(tail -1 "$WORK/announcer.log")"
pass
