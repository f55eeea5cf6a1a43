#!/bin/bash
# A rejected datagram does not keep the valid answer that follows from the
# same address out of the table.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up
printf 'sFz \003\000\000\000' > "$WORK/header-only.bin"
device bad --from 127.0.0.5 --raw "$WORK/header-only.bin" --probes 1
device good --from 127.0.0.5 --name "Good" --after 50
run_webfind
expect_status 0
expect_out 'Name:Good URL:http://127.0.0.5/\n'
expect_opened http://127.0.0.5/
pass
