#!/bin/bash
# An nftables table of its own named like one of iptables' ("table ip
# filter", policy drop): iptables-nft-save prints *filter for it with empty
# chains, and says it cannot show it. Read from nft, it is the cause, named
# as nftables', never "nothing on this host explains it"; the nft rule
# given finds the device, and carried out as its Keep step says (the
# ruleset dumped into /etc/nftables.conf, in this case's own /etc, and
# loaded as a boot would load it), it still does.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "the firewall here is Linux's; Windows has its own"
command -v iptables-nft-save > /dev/null || skip "iptables is not installed"
private_etc
device_on_lan --name "Printer"
load_ruleset nft-named-like-iptables
iptables-nft-save 2> /dev/null | grep -q "Table \`filter' contains incompatible base-chains" ||
    skip "this iptables-nft-save does not mark such a table"
run_webfind -n -v
expect_status 0
expect_out ''
grep -q 'nothing on this host explains it' "$ERR" && fail "a false all-clear: $(cat "$ERR")"
grep -q 'The firewall drops incoming UDP (nftables, table ip filter, chain input: policy drop)' "$ERR" ||
    fail "the table was not named: $(cat "$ERR")"
[ "$(advice)" = 'nft insert rule ip filter input udp dport 13576 accept' ] || fail "advice: $(advice)"

# Keep: the rule in the file nftables.service loads, where the step says.
keep | grep -q '^add "udp dport 13576 accept" to /etc/nftables.conf, in chain input of table ip filter, before its first rule "ct state established,related accept"' ||
    fail "the Keep step: $(keep)"
{ echo 'flush ruleset'; nft list ruleset; } |
    sed 's/^\(\s*\)ct state established,related accept$/\1udp dport 13576 accept\n&/' > /etc/nftables.conf
nft -f /etc/nftables.conf || fail "cannot load /etc/nftables.conf: $(cat /etc/nftables.conf)"
run_webfind -n --port 13576
expect_status 0
expect_out 'Name:Printer URL:http://10.1.0.2/\n'
pass
