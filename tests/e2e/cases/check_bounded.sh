#!/bin/bash
# --check ends, whatever the pages do: 300 devices whose pages take the
# connection and never answer cost a run its check's 10 s at most, the pages
# not reached by then reported "not checked" with the reason. A watch prints
# its events as the round sees them, without waiting for the checks, and a
# SIGTERM in the middle of a check ends it at once, with the watch's status
# for a stop.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "300 hanging pages under Wine take its threads' own time; the rule is the same"
network_up
web_server hang 0.0.0.0 8080 hang
device many --count 300 --from 127.3.0.1 --name "Hung {addr}" --url "http://{addr}:8080/"

run_webfind -n --check
expect_status 0
[ "$(grep -c '^Name:Hung ' "$OUT")" -eq 300 ] || fail "not every device listed: $(grep -c '^Name:' "$OUT")"
timedOut=$(grep -cx '  check: unreachable: timed out' "$OUT")
notChecked=$(grep -cx "  check: not checked: the check's time ran out first" "$OUT")
[ "$timedOut" -gt 0 ] && [ "$notChecked" -gt 0 ] && [ $((timedOut + notChecked)) -eq 300 ] ||
    fail "$timedOut timed out, $notChecked not checked: $(sort "$OUT" | uniq -c | sort -rn | head)"

env "${RUN_ENV[@]}" "$WEBFIND" --watch=5 --check --json > "$OUT" 2> "$ERR" &
watcher=$!
watchdog "$watcher" 40
wait_for "$OUT" '"event":"up"' 300
# Every event is out while the first pages are still hanging.
checked=$(grep -c '"event":"checked"' "$OUT")
[ "$checked" -eq 0 ] || fail "the events waited for $checked checks"
start=$(date +%s%N)
kill -TERM "$watcher"
wait "$watcher"
STATUS=$?
stopped=$((($(date +%s%N) - start) / 1000000))
[ "$STATUS" -eq 137 ] && fail "SIGTERM did not end the watch in the middle of its checks"
expect_status 0
[ "$stopped" -lt 3000 ] || fail "the watch took $stopped ms to end after SIGTERM"
pass
