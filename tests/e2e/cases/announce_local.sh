#!/bin/bash
# The announcer on one host, as a user meets it: with -i lo it answers this
# host's own finders on loopback; a second announcer refuses to start,
# naming the first; with nothing listening at the URL it announces it says
# so at start, and after SIGHUP once a web server listens there.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "announce_found proves the Windows build answers; these rules are the same code"
: "${ANNOUNCER:?set ANNOUNCER to the webfind-announce binary}"
network_up no-route
"$ANNOUNCER" --name "Host" --url "http://{addr}:8080/" -i lo > "$WORK/announcer.log" 2>&1 &
announcer=$!
PIDS+=("$announcer")
wait_for "$WORK/announcer.log" '^webfind-announce: announcing "Host" on lo \(127\.0\.0\.1\) as http://127\.0\.0\.1:8080/$'
wait_for "$WORK/announcer.log" '^webfind-announce: nothing accepts connections at http://127\.0\.0\.1:8080/ on this host: finders will open a page that does not load'

run_webfind -n -i lo
expect_status 0
expect_out 'Name:Host URL:http://127.0.0.1:8080/\n'

"$ANNOUNCER" --name "Second" > "$WORK/second.log" 2>&1
status=$?
[ "$status" -eq 1 ] || fail "a second announcer ended with $status: $(cat "$WORK/second.log")"
grep -qx "webfind-announce: another webfind-announce answers on this host already (pid $announcer); one is enough" \
    "$WORK/second.log" || fail "the second announcer said: $(cat "$WORK/second.log")"

web_server site 127.0.0.1 8080 title
kill -HUP "$announcer"
wait_for "$WORK/announcer.log" '^webfind-announce: something now accepts connections at http://127\.0\.0\.1:8080/$'
pass
