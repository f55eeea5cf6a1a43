#!/bin/bash
# A watch whose output goes nowhere ends: at the first write that fails
# (/dev/full: status 4), when its reader has gone ("| head -n 1": status 0,
# within a round), and on SIGTERM while a reader that stopped reading
# blocks it (status 4: output was lost).
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "these are POSIX pipes and signals"
network_up
device many --from 127.0.1.1 --count 2000 --name "Device {addr} with a name long enough to fill a pipe"

env "${RUN_ENV[@]}" "$WEBFIND" --watch=1 --duration=30 > /dev/full 2> "$ERR"
STATUS=$?
expect_status 4
grep -q 'could not write to standard output' "$ERR" || fail "no reason: $(cat "$ERR")"

# head reads one line and leaves; the watch must notice before its 30 s.
(env "${RUN_ENV[@]}" "$WEBFIND" --watch=1 --duration=30 2> "$ERR"; echo "$?" > "$WORK/status") | head -n 1 > "$OUT"
[ "$(cat "$WORK/status")" = 0 ] || fail "with head: status $(cat "$WORK/status"): $(cat "$ERR")"
[ "$(wc -l < "$OUT")" -eq 1 ] || fail "head got: $(cat "$OUT")"

# A reader that holds the pipe open and never reads: the watch blocks, and
# SIGTERM still ends it.
mkfifo "$WORK/fifo"
exec 3<> "$WORK/fifo"
env "${RUN_ENV[@]}" "$WEBFIND" --watch=3600 > "$WORK/fifo" 2> "$ERR" &
watcher=$!
for _ in $(seq 200); do
    [ "$(awk '$1 == "State:" { print $2 }' "/proc/$watcher/status" 2> /dev/null)" = S ] &&
        grep -q 'pipe_write\|wait_woken' "/proc/$watcher/wchan" 2> /dev/null && break
    sleep 0.05
done
kill -s TERM "$watcher"
watchdog "$watcher" 30
wait "$watcher"
STATUS=$?
exec 3<&-
[ "$STATUS" -eq 137 ] && fail "SIGTERM did not end a watch blocked on its output"
expect_status 4
grep -q 'stopped while it was not being read' "$ERR" || fail "no reason: $(cat "$ERR")"
pass
