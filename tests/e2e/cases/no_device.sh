#!/bin/bash
# No device answers: three identical probes from one port, nothing printed,
# nothing opened, exit 0.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up
device listener --probes 0
run_webfind
expect_status 0
expect_out ""
expect_opened
expect_probes listener 3
[ -s "$ERR" ] && fail "unexpected stderr: $(cat "$ERR")"
pass
