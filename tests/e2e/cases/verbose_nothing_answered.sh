#!/bin/bash
# -v says so when nothing answered.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up
run_webfind -v
expect_status 0
expect_out ''
grep -q "^webfind: no device answered (probed via the system's default interface)$" "$ERR" || fail "no note: $(cat "$ERR")"
pass
