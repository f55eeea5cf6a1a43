#!/bin/bash
# SIGTERM and SIGINT in the middle of a round end a watch at once, with every
# event written out whole and exit status 0; human lines start with the
# local time, the event and the address, and escape what they show as the
# listing does.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "Wine ends on a POSIX signal; Windows stops it with Ctrl-C, which a test cannot send here"
network_up
device evil --from 127.0.0.6 --name $'Cam\e[2J' --url 'http://127.0.0.6/'
for signal in TERM INT; do
    # An hour between rounds: only the signal can end it in time.
    env "${RUN_ENV[@]}" "${RUNNER[@]}" "$WEBFIND" --watch=3600 > "$OUT" 2> "$ERR" &
    watcher=$!
    wait_for "$OUT" '^[0-2][0-9]:[0-5][0-9]:[0-6][0-9] up '
    kill -s "$signal" "$watcher"
    watchdog "$watcher" 30
    wait "$watcher"
    STATUS=$?
    [ "$STATUS" -eq 137 ] && fail "SIG$signal did not end the watch"
    expect_status 0
    sed -i 's/^[0-2][0-9]:[0-5][0-9]:[0-6][0-9] //' "$OUT"
    expect_out 'up 127.0.0.6 Name:Cam\\x1B[2J URL:http://127.0.0.6/\n'
done
pass
