#!/bin/bash
# The firewall already admits the fixed port, but the run took the answers
# at a port the system chose: what is missing is --port 13576, and nothing
# else is offered.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "the firewall here is Linux's; Windows has its own"
command -v nft > /dev/null || skip "nft is not installed (nftables)"
device_on_lan --name "NAS"
load_ruleset nft-admits-fixed-port
run_webfind -n -v
expect_status 0
expect_out ''
grep -q 'The firewall admits answers at port 13576, but this run took them at a port the system chose' "$ERR" ||
    fail "the missing port was not named: $(cat "$ERR")"
grep -q 'Next: webfind --port 13576, or set WEBFIND_PORT=13576 for every run' "$ERR" || fail "no port to use: $(cat "$ERR")"
[ -z "$(advice)" ] || fail "commands offered for a firewall that admits the port: $(advice)"
run_webfind -n --port 13576
expect_status 0
expect_out 'Name:NAS URL:http://10.1.0.2/\n'
pass
