#!/bin/bash
# SIGTERM and SIGINT in the middle of a round end a watch at once, with every
# event written out whole and exit status 0; human lines start with the
# event and the address, and escape what they show as the listing does.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "Wine ends on a POSIX signal; Windows stops it with Ctrl-C, which a test cannot send here"
network_up
device evil --from 127.0.0.6 --name $'Cam\e[2J' --url 'http://127.0.0.6/'
for signal in TERM INT; do
    start=$(date +%s%N)
    env "${RUN_ENV[@]}" "${RUNNER[@]}" "$WEBFIND" --watch=5 > "$OUT" 2> "$ERR" &
    watcher=$!
    sleep 1
    kill -s "$signal" "$watcher"
    wait "$watcher"
    STATUS=$?
    elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
    expect_status 0
    expect_out 'up 127.0.0.6 Name:Cam\\x1B[2J URL:http://127.0.0.6/\n'
    [ "$elapsed" -lt 3000 ] || fail "SIG$signal took ${elapsed} ms to end the watch"
done
pass
