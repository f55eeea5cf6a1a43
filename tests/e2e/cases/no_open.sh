#!/bin/bash
# --no-open lists and opens nothing.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up
device d --from 127.0.0.4 --name "Printer"
run_webfind --no-open
expect_status 0
expect_out 'Name:Printer URL:http://127.0.0.4/\n'
expect_opened
pass
