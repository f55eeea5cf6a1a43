#!/bin/bash
# Without a graphical session nothing is opened, and that is said once.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "Windows has no DISPLAY; the desktop is always there"
network_up
device d --from 127.0.0.4 --name "Printer"
RUN_ENV=("${CLEAN_ENV[@]}" -u DISPLAY -u WAYLAND_DISPLAY PATH="$WORK/bin:$PATH" XDG_RUNTIME_DIR="$WORK/runtime")
run_webfind
expect_status 0
expect_out 'Name:Printer URL:http://127.0.0.4/\n'
expect_opened
grep -q 'no graphical session' "$ERR" || fail "no note on stderr: $(cat "$ERR")"
pass
