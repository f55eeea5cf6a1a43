#!/bin/bash
# One whole run under memcheck: no invalid access, no leak, on hostile input.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "not for the Windows build"
[ -n "${WEBFIND_SANITIZED:-}" ] && skip "a sanitizer build does not run under valgrind"
command -v valgrind > /dev/null || skip "valgrind is not installed"
network_up
: > "$WORK/empty.bin"
printf 'sFz \003\000\000\000' > "$WORK/short.bin"
device empty --from 127.0.0.9 --raw "$WORK/empty.bin" --probes 1
device short --from 127.0.0.8 --raw "$WORK/short.bin"
device evil --from 127.0.0.6 --name $'\e[2Jevil' --url 'http://127.0.0.6/"x'
device good --from 127.0.0.5 --name "Good"
WRAPPER=(valgrind -q --error-exitcode=99 --leak-check=full "--errors-for-leak-kinds=definite,indirect")
run_webfind -v
expect_status 0
expect_out 'Name:Good URL:http://127.0.0.5/\nName:\\x1B[2Jevil URL:http://127.0.0.6/"x\n'
pass
