#!/bin/bash
# Nothing holds the announcer up. With -v and its standard error a pipe
# that nobody reads, it answers a finder all the same, and says how many
# lines it could not write with its next line once the pipe is read again. Probes that waited
# in its queue while it was stopped (SIGSTOP) are refused as too old when it
# goes on, not answered late. SIGHUP reads the host's name again: it goes on
# answering, with the new name.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "standard error and signals are the system's; announce_found proves the Windows build answers"
: "${ANNOUNCER:?set ANNOUNCER to the webfind-announce binary}"
command -v python3 > /dev/null || skip "python3 is not installed"
network_up no-route
# A reader that never reads keeps the pipe open. The pipe holds four pages
# (16 KiB), so that the probes that reach the announcer fill it even on a
# loaded machine, where the kernel drops what of a burst its socket's queue
# cannot hold (some 270 probes stay queued, 25 KB of lines).
mkfifo "$WORK/stderr"
exec 3<> "$WORK/stderr"
python3 -c 'import fcntl; fcntl.fcntl(3, fcntl.F_SETPIPE_SZ, 16384)' || fail "cannot shrink the pipe"
HOST_NAME=first host_behind_links announcer 1 sh -c 'exec "$@" 2> "$0"' "$WORK/stderr" "$ANNOUNCER" --name "{host}" -v
probe() { python3 "$E2E_DIR/prober.py" "$@"; }

# 3,000 refused probes: even a tenth of them make more lines than the pipe holds.
probe unicast 10.1.0.1 10.1.0.2 3000 > /dev/null
run_webfind -n -i va1
expect_status 0
expect_out 'Name:first URL:http://10.1.0.2/\n'

cat "$WORK/stderr" > "$WORK/announcer.log" &
PIDS+=("$!")
# The next line it writes is told after the count of those it could not.
probe unicast 10.1.0.1 10.1.0.2 > /dev/null
wait_for "$WORK/announcer.log" '^webfind-announce: [0-9]+ lines of this log could not be written$'

kill -STOP "$HOST_PID"
[ "$(probe multicast 10.1.0.1 10.1.0.1)" = "answers 0" ] || fail "a stopped announcer answered"
kill -CONT "$HOST_PID"
wait_for "$WORK/announcer.log" '^webfind-announce: datagram from 10\.1\.0\.1:[0-9]+ on vb1: refused: it waited longer than a finder listens$'

nsenter -t "$HOST_PID" -u hostname second || fail "cannot rename the announcer's host"
kill -HUP "$HOST_PID"
wait_for "$WORK/announcer.log" '^webfind-announce: this host is now named "second"$'
run_webfind -n -i va1
expect_status 0
expect_out 'Name:second URL:http://10.1.0.2/\n'

kill -TERM "$HOST_PID"
wait "$HOST_PID"
STATUS=$?
expect_status 0
grep -qE '^webfind-announce: stopped; answered 6 .* 1 too old, .*; [0-9]+ lines of this log could not be written$' "$WORK/announcer.log" ||
    fail "the counts: $(tail -1 "$WORK/announcer.log")"
pass
