#!/bin/bash
# Junk every 50 ms for 1.4 s keeps the run collecting long enough to hear a
# device that answers after one second. A quarter of the quiet wait between
# junk leaves room for a busy machine's scheduling (half of it was not
# enough for Wine's build beside a sanitizer build and a fuzz round).
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up
printf 'junk' > "$WORK/junk.bin"
device chatty --from 127.0.0.7 --raw "$WORK/junk.bin" --probes 1 --repeat 28 --every 50
device late --from 127.0.0.8 --name "Late" --probes 1 --after 1000
run_webfind
expect_status 0
expect_out 'Name:Late URL:http://127.0.0.8/\n'
expect_opened http://127.0.0.8/
pass
