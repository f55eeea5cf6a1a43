#!/bin/bash
# --json with no device: an empty array.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up
run_webfind --json
expect_status 0
expect_out '[]\n'
pass
