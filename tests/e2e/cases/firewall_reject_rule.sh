#!/bin/bash
# A ruleset that accepts what it knows and ends with a catch-all reject (the
# usual hand-written one): the reject is named, though it mentions ICMP, and
# the rule webfind gives lets the device through. Its Keep step says where
# in the chain the rule must go (added after the reject, it would do
# nothing); carried out in /etc/nftables.conf (in this case's own /etc) and
# loaded as a boot loads it, the device is found again.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "the firewall here is Linux's; Windows has its own"
command -v nft > /dev/null || skip "nft is not installed (nftables)"
private_etc
device_on_lan --name "Camera"
load_ruleset nft-reject-icmp
run_webfind -n -v
expect_status 0
expect_out ''
grep -q 'The firewall drops incoming UDP (nftables, table inet filter, chain input: reject with icmp port-unreachable)' "$ERR" ||
    fail "the reject was not named: $(cat "$ERR")"
keep | grep -q '^add "udp dport 13576 accept" to /etc/nftables.conf, in chain input of table inet filter, before its first rule "ct state established,related accept": nftables.service loads that file at boot$' ||
    fail "the Keep step: $(keep)"
run_advice
run_webfind -n --port 13576
expect_status 0
expect_out 'Name:Camera URL:http://10.1.0.2/\n'

# As a boot would: the ruleset as it was, with the rule where the step says.
nft flush ruleset
load_ruleset nft-reject-icmp
{ echo 'flush ruleset'; nft list ruleset; } |
    sed 's/^\(\s*\)ct state established,related accept$/\1udp dport 13576 accept\n&/' > /etc/nftables.conf
nft flush ruleset
nft -f /etc/nftables.conf || fail "cannot load /etc/nftables.conf: $(cat /etc/nftables.conf)"
run_webfind -n --port 13576
expect_status 0
expect_out 'Name:Camera URL:http://10.1.0.2/\n'
pass
