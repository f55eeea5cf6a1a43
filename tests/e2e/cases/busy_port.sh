#!/bin/bash
# A chosen port that is taken is a bind failure, with the port and what
# holds it named on standard error (another webfind, when it is one); ports
# out of range are usage errors and send nothing.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up
device listener --probes 0
run_webfind -n --port 3576   # the device holds it
expect_status 255
expect_out 'Socket Bind Err\n'
grep -q 'could not bind local UDP port 3576: Address already in use; webfind-respond.* (pid [0-9]*) holds it' "$ERR" ||
    under_wine || fail "port or holder not named: $(cat "$ERR")"
grep -q 'could not bind local UDP port 3576' "$ERR" || fail "port not named: $(cat "$ERR")"

for bad in 0 70000 abc -1; do
    run_webfind -n --port "$bad"
    expect_status 2
    expect_out ''
    saved=("${RUN_ENV[@]}")
    RUN_ENV+=(WEBFIND_PORT="$bad")
    run_webfind -n
    expect_status 2
    grep -q "WEBFIND_PORT needs a UDP port number" "$ERR" || fail "WEBFIND_PORT=$bad: $(cat "$ERR")"
    RUN_ENV=("${saved[@]}")
done
expect_probes listener 0

# A watch holds the fixed port; a run that wants it too is told so.
env "${RUN_ENV[@]}" "${RUNNER[@]}" "$WEBFIND" --watch=3600 --port 13576 > "$WORK/watch.out" 2>&1 &
PIDS+=("$!")
for _ in $(seq 100); do ss -Hnlu 'sport = :13576' 2> /dev/null | grep -q . && break; sleep 0.05; done
run_webfind -n --port 13576
expect_status 255
expect_out 'Socket Bind Err\n'
under_wine || grep -q 'another webfind holds it: webfind (pid [0-9]*)' "$ERR" || fail "the other webfind was not named: $(cat "$ERR")"
pass
