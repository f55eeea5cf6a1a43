#!/bin/bash
# Two answers from one address: the first valid one is kept.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up
# Both stand at 127.0.0.5; the second always answers 50 ms later.
device first --from 127.0.0.5 --name "First"
device second --from 127.0.0.5 --name "Second" --url "http://second/" --after 50
run_webfind
expect_status 0
expect_out 'Name:First URL:http://127.0.0.5/\n'
expect_opened http://127.0.0.5/
pass
