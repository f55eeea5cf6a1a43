#!/bin/bash
# --watch=1 --json --duration=7 against devices that come and go: each device
# present from the start comes up once, one that stops answering goes down
# and the others never do, one that starts later comes up, a renamed one is
# changed; valid JSON Lines, nothing opened, and the watch ends by itself.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

command -v jq > /dev/null || skip "jq is not installed"
network_up
device printer --from 127.0.0.5 --name "Printer"
device camera --from 127.0.0.6 --name "Camera" --probes 3          # the first round only
device old --from 127.0.0.8 --name "Old name" --probes 6           # the first two rounds
run_webfind --watch=1 --json --duration=7 &
watcher=$!
# Each step waits for what the one before it did, not for the clock.
wait_for "$OUT" '"event":"up"' 3
device late --from 127.0.0.7 --name "Late"
wait_for "$OUT" '"name":"Late"'
# The old name has answered its last probe (two rounds) before the new one starts.
wait_for "$WORK/old.log" '^probe from' 6
device renamed --from 127.0.0.8 --name "New name"
wait "$watcher"
STATUS=$?
expect_status 0
expect_opened

jq -e . "$OUT" > /dev/null || fail "not JSON Lines: $(cat "$OUT")"
events() { jq -r "select(.event == \"$1\") | .address + \" \" + .name" "$OUT" | sort | tr '\n' ';'; }
[ "$(events up)" = "127.0.0.5 Printer;127.0.0.6 Camera;127.0.0.7 Late;127.0.0.8 Old name;" ] ||
    fail "up events: $(events up)"
[ "$(events down)" = "127.0.0.6 Camera;" ] || fail "down events: $(events down)"
[ "$(events changed)" = "127.0.0.8 New name;" ] || fail "changed events: $(events changed)"
jq -e 'select((.time | test("^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}(\\.[0-9]+)?Z$") | not) or .url == null)' "$OUT" &&
    fail "an event without an RFC 3339 UTC time or a URL"
pass
