#!/bin/bash
# A ruleset that accepts what it knows and ends with a catch-all reject (the
# usual hand-written one): the reject is named, though it mentions ICMP, and
# the rule webfind gives lets the device through.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "the firewall here is Linux's; Windows has its own"
command -v nft > /dev/null || skip "nft is not installed (nftables)"
device_on_lan --name "Camera"
load_ruleset nft-reject-icmp
run_webfind -n -v
expect_status 0
expect_out ''
grep -q 'The firewall drops incoming UDP (nftables, table inet filter, chain input: reject with icmp port-unreachable)' "$ERR" ||
    fail "the reject was not named: $(cat "$ERR")"
run_advice
run_webfind -n --port 13576
expect_status 0
expect_out 'Name:Camera URL:http://10.1.0.2/\n'
pass
