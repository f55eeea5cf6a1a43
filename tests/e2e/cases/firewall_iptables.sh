#!/bin/bash
# iptables' default-deny, through iptables-nft (on a host where nft is
# installed too) and through the legacy tables: each is named as iptables',
# the advice is an iptables command for those very tables, and running it
# with the fixed port finds the device.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "the firewall here is Linux's; Windows has its own"
command -v iptables-nft > /dev/null || skip "iptables is not installed"
device_on_lan --name "Router"

iptables-nft -P INPUT DROP && iptables-nft -A INPUT -m conntrack --ctstate RELATED,ESTABLISHED -j ACCEPT ||
    fail "cannot set iptables-nft up"
run_webfind -n -v
expect_status 0
expect_out ''
grep -q 'The firewall drops incoming UDP (iptables, table filter, chain INPUT: policy drop)' "$ERR" ||
    fail "iptables-nft's policy was not named: $(cat "$ERR")"
advice | grep -q '^iptables\(-nft\)\? -I INPUT -p udp --dport 13576 -j ACCEPT$' || fail "advice: $(advice)"
advice | grep -q 'nft insert' && fail "nft commands for iptables' tables: $(advice)"
run_advice
run_webfind -n --port 13576
expect_status 0
expect_out 'Name:Router URL:http://10.1.0.2/\n'
iptables-nft -F INPUT && iptables-nft -P INPUT ACCEPT || fail "cannot clear iptables-nft"

if ! command -v iptables-legacy > /dev/null || ! iptables-legacy -P INPUT DROP 2> /dev/null; then
    echo "note: legacy iptables cannot be used here; only iptables-nft was checked"
    pass
fi
iptables-legacy -A INPUT -m state --state RELATED,ESTABLISHED -j ACCEPT || fail "cannot set iptables-legacy up"
run_webfind -n -v
expect_status 0
expect_out ''
grep -q 'The firewall drops incoming UDP (iptables-legacy, table filter, chain INPUT: policy drop)' "$ERR" ||
    fail "the legacy policy was not named: $(cat "$ERR")"
advice | grep -q -- '-legacy -I INPUT -p udp --dport 13576 -j ACCEPT$\|^iptables -I INPUT' || fail "advice: $(advice)"
run_advice
run_webfind -n --port 13576
expect_status 0
expect_out 'Name:Router URL:http://10.1.0.2/\n'
pass
