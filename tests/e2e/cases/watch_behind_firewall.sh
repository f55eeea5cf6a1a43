#!/bin/bash
# A watch behind a firewall that drops the answers says why after its first
# empty round, on standard error, once: not again while nothing changes.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "the firewall here is Linux's; Windows has its own"
command -v nft > /dev/null || skip "nft is not installed (nftables)"
device_on_lan --name "Printer"
load_ruleset nft-policy-drop
run_webfind --watch=1 --duration=4 -v
expect_status 0
expect_out ''
n=$(grep -c 'The firewall drops incoming UDP (nftables, table inet filter, chain input: policy drop)' "$ERR")
[ "$n" -eq 1 ] || fail "the diagnosis was written $n times: $(cat "$ERR")"
pass
