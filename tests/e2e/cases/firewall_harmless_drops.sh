#!/bin/bash
# Drops that cannot meet a device's answer (invalid connections, another
# source, another port, TCP, another interface) under policy accept, and
# blocklists of other addresses (a set, as fail2ban and crowdsec keep
# them): the diagnosis reads exactly as on a host with no rules at all.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "the firewall here is Linux's; Windows has its own"
command -v nft > /dev/null || skip "nft is not installed (nftables)"
device_on_lan --name "Printer" --probes 0
run_webfind -n -v
expect_status 0
cp "$ERR" "$WORK/without-rules"
grep -q 'nothing on this host explains it' "$ERR" || fail "a host without rules: $(cat "$ERR")"

for rules in nft-harmless-drops nft-source-blocklists; do
    nft flush ruleset
    load_ruleset "$rules"
    run_webfind -n -v
    expect_status 0
    diff "$WORK/without-rules" "$ERR" > "$WORK/diff" || fail "$rules changed the diagnosis: $(cat "$WORK/diff")"
done
pass
