#!/bin/bash
# Bytes above 0x7F are printed unchanged and reach the opener unchanged.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up
device cafe --from 127.0.0.6 --name $'Caf\xc3\xa9 \xff' --url $'http://127.0.0.6/\xc3\xa9'
run_webfind
expect_status 0
expect_out 'Name:Caf\303\251 \377 URL:http://127.0.0.6/\303\251\n'
# Under Wine too: UTF-8 is read as UTF-8 on its way to the shell.
expect_opened $'http://127.0.0.6/\xc3\xa9'
pass
