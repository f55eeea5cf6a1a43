#!/bin/bash
# A default-deny firewall on webfind's host drops the devices' answers (they
# are unicast, and connection tracking does not link them to the multicast
# probe). With -v webfind says so and gives the rule to add; with that rule
# and the fixed port (--port or WEBFIND_PORT) the device is found. Every
# probe then leaves from the fixed port.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

command -v nft > /dev/null || skip "nft is not installed (nftables)"
network_up no-route
device_behind_link 1 --name "Printer"
ip route add 224.0.0.0/4 dev va1
device_ready 1
# This namespace's own firewall: nothing in but replies and loopback.
nft -f - <<'RULES' || fail "cannot load the firewall rules"
table inet filter {
    chain input {
        type filter hook input priority 0; policy drop;
        ct state established,related accept
        iif lo accept
    }
}
RULES

run_webfind -n -v
expect_status 0
expect_out ''
if under_wine; then
    grep -q 'Windows Defender Firewall may drop the answers' "$ERR" || fail "no firewall line: $(cat "$ERR")"
else
    grep -q 'The firewall drops incoming UDP (nftables, table inet filter, chain input: policy drop)' "$ERR" ||
        fail "the firewall was not named: $(cat "$ERR")"
    grep -q 'sudo nft insert rule inet filter input udp dport 13576 accept' "$ERR" || fail "no rule to add: $(cat "$ERR")"
fi
grep -q 'then run webfind --port 13576, or set WEBFIND_PORT=13576' "$ERR" || fail "no port to use: $(cat "$ERR")"

# The rule webfind gave, and its port.
nft insert rule inet filter input udp dport 13576 accept || fail "cannot add the rule"
run_webfind -n --port 13576
expect_status 0
expect_out 'Name:Printer URL:http://10.1.0.2/\n'
RUN_ENV+=(WEBFIND_PORT=13576)
run_webfind -n
expect_status 0
expect_out 'Name:Printer URL:http://10.1.0.2/\n'
n=$(grep -c '^probe from 10.1.0.1:13576 ' "$WORK/dev1.log")
[ "$n" -eq 6 ] || fail "$n of 6 probes came from port 13576: $(cat "$WORK/dev1.log")"
# The option wins over the environment: another port is blocked again.
run_webfind -n --port 13577
expect_status 0
expect_out ''
pass
