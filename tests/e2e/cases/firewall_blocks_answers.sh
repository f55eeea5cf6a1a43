#!/bin/bash
# A default-deny firewall on webfind's host drops the devices' answers (they
# are unicast, and connection tracking does not link them to the multicast
# probe). As root, -v names the chain and gives the rule to add and how to
# keep it; the rule it gives, with the fixed port (--port or WEBFIND_PORT),
# finds the device, and every probe then leaves from the fixed port. As a
# user, who cannot read the rules, webfind says the firewall could not be
# checked instead of claiming that nothing explains it.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

command -v nft > /dev/null || skip "nft is not installed (nftables)"
device_on_lan --name "Printer"
# This namespace's own firewall: nothing in but replies and loopback.
load_ruleset nft-policy-drop

if ! under_wine && command -v setpriv > /dev/null; then
    WRAPPER=("${AS_USER[@]}")
    run_webfind -n -v
    WRAPPER=()
    expect_status 0
    grep -q 'The firewall could not be checked (reading it needs root): a host firewall' "$ERR" ||
        fail "as a user: $(cat "$ERR")"
    grep -q 'Next: sudo webfind -v' "$ERR" || fail "as a user, no way to check: $(cat "$ERR")"
    grep -q 'nothing on this host explains it' "$ERR" && fail "as a user, a false all-clear: $(cat "$ERR")"
fi

run_webfind -n -v
expect_status 0
expect_out ''
if under_wine; then
    grep -q 'Windows Defender Firewall may drop the answers' "$ERR" || fail "no firewall line: $(cat "$ERR")"
    nft insert rule inet filter input udp dport 13576 accept || fail "cannot add the rule"
else
    grep -q 'The firewall drops incoming UDP (nftables, table inet filter, chain input: policy drop)' "$ERR" ||
        fail "the firewall was not named: $(cat "$ERR")"
    [ "$(advice)" = 'nft insert rule inet filter input udp dport 13576 accept' ] || fail "advice: $(advice)"
    grep -q '^     Keep: ' "$ERR" || fail "nothing on keeping the rule: $(cat "$ERR")"
    run_advice
fi
grep -q 'then run webfind --port 13576, or set WEBFIND_PORT=13576' "$ERR" || fail "no port to use: $(cat "$ERR")"

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
