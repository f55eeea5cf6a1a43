#!/bin/bash
# webfind finds a host that runs webfind-announce in a namespace of its
# own, joined by two links: each link is answered with the address the
# finder can reach there, "{host}" is the host's name, and SIGTERM ends
# the announcer within a second with status 0 and its counts. Under Wine,
# the Windows build announces, and the Linux build's webfind finds it.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

: "${ANNOUNCER:?set ANNOUNCER to the webfind-announce binary}"
network_up no-route
if under_wine; then
    # The announcer runs here, where the wineserver is; the finder behind the link.
    : "${LINUX_WEBFIND:?set LINUX_WEBFIND to the Linux build of webfind}"
    [ -x "$LINUX_WEBFIND" ] || skip "the Linux build of webfind is not there"
    # shellcheck disable=SC2016  # expanded by the finder's shell
    host_behind_links finder 1 sh -c 'ip route add 224.0.0.0/4 dev vb1
        while [ ! -e "$1" ]; do sleep 0.05; done
        exec "$0" -n' "$LINUX_WEBFIND" "$WORK/go"
    "${RUNNER[@]}" "$ANNOUNCER" --name "Windows host" -v > "$WORK/announcer.log" 2>&1 &
    announcer=$!
    PIDS+=("$announcer")
    wait_for "$WORK/announcer.log" '^webfind-announce: announcing "Windows host" on .*10\.1\.0\.1'
    touch "$WORK/go"
    wait "$HOST_PID"
    grep -qx 'Name:Windows host URL:http://10.1.0.1/' "$WORK/finder.log" || fail "not found: $(cat "$WORK/finder.log") $(cat "$WORK/announcer.log")"
    pass
fi
host_behind_links announcer "1 2" "$ANNOUNCER" --name "NAS {host}" --url "http://{addr}:5000/"
wait_for "$WORK/announcer.log" '^webfind-announce: announcing "NAS .*" on vb1 \(10\.1\.0\.2\) as http://10\.1\.0\.2:5000/, vb2 \(10\.2\.0\.2\) as http://10\.2\.0\.2:5000/$'
host=$(nsenter -t "$HOST_PID" -n -u hostname 2> /dev/null || hostname)
run_webfind -n -a
expect_status 0
expect_out "Name:NAS $host URL:http://10.1.0.2:5000/\nName:NAS $host URL:http://10.2.0.2:5000/\n"

start=$(date +%s%N)
kill -TERM "$HOST_PID"
wait "$HOST_PID"
STATUS=$?
ms=$((($(date +%s%N) - start) / 1000000))
expect_status 0
[ "$ms" -lt 1000 ] || fail "SIGTERM took $ms ms to end it"
grep -qE '^webfind-announce: stopped; answered 6 \([0-9]+ bytes\); refused 0: ' "$WORK/announcer.log" ||
    fail "the counts: $(tail -1 "$WORK/announcer.log")"
pass
