#!/bin/bash
# A watch that starts with no network (a boot before the network is up: no
# route for the probes) does not end: the failure is said once, and once
# the link and its route come, the device behind it is found and the watch
# says it probes again. It ends at its duration with status 0.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up no-route
run_webfind --watch=1 --duration=6 --json &
watcher=$!
wait_for "$ERR" 'round 1: Socket Send Err'
sleep 1.5
device_behind_link 1 --name "After boot"
device_ready 1
ip route add 224.0.0.0/4 dev va1
wait "$watcher"
STATUS=$?
expect_status 0
grep -q '"event":"up","time":"[^"]*","address":"10\.1\.0\.2","name":"After boot"' "$OUT" ||
    fail "the device was not found once the network came: $(cat "$OUT")"
[ "$(grep -c 'Socket Send Err' "$ERR")" -eq 1 ] || fail "the failure was said more than once: $(cat "$ERR")"
grep -q '^webfind: round [0-9]*: probing again$' "$ERR" || fail "the watch did not say it probes again: $(cat "$ERR")"
pass
