#!/bin/bash
# A watch with -a follows the interfaces as they change under it: a link
# added mid-watch is probed from the next round on and its device comes up;
# a link removed stops only its own probes (its device goes down, the other
# does not); a link renumbered is probed at its new address, and its device
# never goes down for it. One line for each change.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "Wine reads the interfaces its own way; the rounds that follow them are the same code"
network_up no-route
device_behind_link 1 --name "First"
device_ready 1
run_webfind --watch=1 --duration=9 -a --json &
watcher=$!
wait_for "$OUT" '"address":"10\.1\.0\.2"'
device_behind_link 2 --name "Second"
device_ready 2
wait_for "$OUT" '"event":"up","time":"[^"]*","address":"10\.2\.0\.2"'
ip link del va1
wait_for "$OUT" '"event":"down","time":"[^"]*","address":"10\.1\.0\.2"'
ip addr del 10.2.0.1/24 dev va2
ip addr add 10.2.0.9/24 dev va2
wait_for "$ERR" 'va2 is now 10\.2\.0\.9'
# Two rounds at the new address.
sleep 2.2
kill -0 "$watcher" 2> /dev/null || fail "the watch ended early: $(cat "$ERR")"
wait "$watcher"
STATUS=$?
expect_status 0
grep -q 'probing through va2 (10\.2\.0\.1)' "$ERR" || fail "the new link was not said: $(cat "$ERR")"
grep -q 'va1 is gone or down' "$ERR" || fail "the link that went was not said: $(cat "$ERR")"
grep -q '"event":"down","time":"[^"]*","address":"10\.2\.0\.2"' "$OUT" &&
    fail "the device behind the renumbered link went down: $(cat "$OUT")"
[ "$(grep -c '"event":"up","time":"[^"]*","address":"10\.2\.0\.2"' "$OUT")" -eq 1 ] ||
    fail "the second device came up more than once: $(cat "$OUT")"
pass
