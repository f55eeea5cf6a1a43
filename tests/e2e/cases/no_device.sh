#!/bin/bash
# No device answers: three identical probes from one port, nothing printed,
# nothing opened, exit 0, and the run ends about 400 ms after it began.
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
# Loose: the run is about 400 ms; only a hang or a lost wait shows here.
# Not under Wine, whose start-up time makes the figure meaningless.
! under_wine && [ "$ELAPSED_MS" -ge 3000 ] && fail "took ${ELAPSED_MS} ms with no device"
pass
