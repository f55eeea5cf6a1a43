#!/bin/bash
# Control bytes from the network are shown as \xHH and never reach the
# terminal, C1 controls (as UTF-8 and as raw bytes) and bidi overrides
# included; JSON escapes those as \u sequences; a URL holding one is not
# opened.
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

device c1 --from 127.0.0.7 --name $'csi\xc2\x9b2J osc\xc2\x9d0;t raw\x9bx txt.\xe2\x80\xaegpj \xc4\x9b'
run_webfind -n 127.0.0.7 csi
expect_status 0
expect_out 'Name:csi\\xC2\\x9B2J osc\\xC2\\x9D0;t raw\\x9Bx txt.\\xE2\\x80\\xAEgpj \xc4\x9b URL:http://127.0.0.7/\n'
run_webfind --json csi
expect_status 0
grep -qF '"name": "csi\u009b2J osc\u009d0;t raw\ufffdx txt.\u202egpj \u011b"' "$OUT" ||
    grep -qF $'"name": "csi\\u009b2J osc\\u009d0;t raw\xef\xbf\xbdx txt.\\u202egpj \xc4\x9b"' "$OUT" ||
    fail "JSON: $(cat "$OUT")"
pass
