#!/bin/bash
# A chosen port that is taken is a bind failure, with the port named on
# standard error; ports out of range are usage errors and send nothing.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up
device listener --probes 0
run_webfind -n --port 3576   # the device holds it
expect_status 255
expect_out 'Socket Bind Err\n'
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
pass
