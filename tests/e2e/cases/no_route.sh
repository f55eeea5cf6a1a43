#!/bin/bash
# No route for multicast: "Socket Send Err" and exit -1, nothing opened.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up no-route
run_webfind
expect_status 255
expect_out 'Socket Send Err\n'
expect_opened
pass
