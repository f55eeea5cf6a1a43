#!/bin/bash
# A watch run by systemd: a fake notify socket (a Unix datagram socket this
# case reads) hears READY=1 once, after the first round, then WATCHDOG=1
# after each round, with the devices up in STATUS=; a watchdog shorter than
# two rounds is asked to wait longer. With standard error on the journal's
# stream (JOURNAL_STREAM names it), its lines carry priority prefixes.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "systemd's notify socket is a Linux service's"
command -v python3 > /dev/null || skip "python3 is not installed"
network_up
device printer --from 127.0.0.5 --name "Printer"
python3 - "$WORK/notify" > "$WORK/heard" <<'PY' &
import socket, sys, time
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
s.bind(sys.argv[1])
print("listening", flush=True)
s.settimeout(8)
try:
    while True:
        print(s.recv(4096).decode().replace("\n", " | "), flush=True)
except socket.timeout:
    pass
PY
PIDS+=("$!")
wait_listening "$WORK/heard" || fail "the fake notify socket did not start"
plain_env=("${RUN_ENV[@]}")
RUN_ENV+=(NOTIFY_SOCKET="$WORK/notify" WATCHDOG_USEC=2000000)
run_webfind --watch=1 --duration=4 --json
expect_status 0
grep -q '"event":"up"' "$OUT" || fail "the device was not found: $(cat "$OUT")"
sleep 0.2
heard=$(grep -v '^listening' "$WORK/heard")
if [ -z "$heard" ] && ! ldconfig -p 2> /dev/null | grep -q 'libsystemd\.so\.0 '; then
    skip "libsystemd.so.0 is not installed: a watch tells no manager"
fi
echo "$heard"
[ "$(sed -n 1p <<< "$heard")" = "WATCHDOG_USEC=32000000" ] || fail "no longer watchdog asked first: $heard"
[ "$(sed -n 2p <<< "$heard")" = "READY=1 | STATUS=1 device up (round 1)" ] || fail "not ready after the first round: $heard"
[ "$(grep -c '^READY=1' <<< "$heard")" -eq 1 ] || fail "ready more than once: $heard"
[ "$(grep -c '^WATCHDOG=1 | STATUS=1 device up (round [0-9])$' <<< "$heard")" -ge 3 ] ||
    fail "not alive after each round: $heard"

# The journal's stream: the file standard error goes to, by device and inode.
: > "$ERR"
journal=$(stat -c '%d:%i' "$ERR")
RUN_ENV=("${plain_env[@]}" JOURNAL_STREAM="$journal")
env "${RUN_ENV[@]}" "$WEBFIND" --watch=1 --duration=2 -i wlan9 >> "$ERR" 2>&1
grep -q '^<4>webfind: wlan9 is not here' "$ERR" || fail "no warning prefix on the journal: $(cat "$ERR")"
grep -q '^<4>webfind: round 1: Socket Send Err' "$ERR" || fail "no warning prefix on a failed round: $(cat "$ERR")"
env "${RUN_ENV[@]}" JOURNAL_STREAM=1:1 "$WEBFIND" --watch=1 --duration=1 -i wlan9 2> "$WORK/plain" > /dev/null
grep -q '^<' "$WORK/plain" && fail "prefixes where standard error is not the journal: $(cat "$WORK/plain")"
pass
