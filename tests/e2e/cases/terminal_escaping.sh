#!/bin/bash
# Control bytes from the network are shown as \xHH and never reach the
# terminal; a URL holding one is not opened.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up
device evil --from 127.0.0.6 --name $'\e[2J\e[31mred\nName:fake' --url $'http://127.0.0.6/\x7fx'
run_webfind
expect_status 0
expect_out 'Name:\\x1B[2J\\x1B[31mred\\x0AName:fake URL:http://127.0.0.6/\\x7Fx\n'
# A URL holding a control byte is listed but never handed to the opener.
expect_opened
grep -q 'not opening the URL of 127.0.0.6' "$ERR" || fail "no note on stderr: $(cat "$ERR")"
pass
