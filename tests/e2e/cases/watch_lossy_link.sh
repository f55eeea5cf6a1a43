#!/bin/bash
# A minute of --watch=1 over a link that loses 1% of its datagrams, probes
# and answers alike (tc netem where the kernel has it, else an nftables
# rule that drops one in a hundred at random): 100 devices come up once
# each and none is ever called down.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "a minute of the same rounds as on Linux; watch_departure runs under Wine"
command -v jq > /dev/null || skip "jq is not installed"
network_up
device many --from 127.0.1.1 --count 100 --name "Device {addr}" --lifetime 90
if tc qdisc add dev lo root netem loss 1% 2> /dev/null; then
    how="tc netem loss 1% on loopback"
elif command -v nft > /dev/null &&
    nft add table inet lossy 2> /dev/null &&
    nft add chain inet lossy out '{ type filter hook output priority 0; }' &&
    nft add rule inet lossy out meta l4proto udp numgen random mod 100 0 counter drop; then
    how="nftables: 1 in 100 UDP datagrams dropped at random (no netem in this kernel)"
else
    skip "neither tc netem nor nftables can drop datagrams here"
fi
echo "loss: $how"
run_webfind --watch=1 --duration=60 --json
expect_status 0
ups=$(jq -r 'select(.event == "up") | .address' "$OUT" | sort -u | wc -l)
downs=$(jq -c 'select(.event == "down")' "$OUT")
[ "$ups" -eq 100 ] || fail "$ups devices came up, not 100"
[ -z "$downs" ] || fail "false departures: $downs"
[ "$(jq -r 'select(.event == "up") | .address' "$OUT" | wc -l)" -eq 100 ] || fail "a device came up twice"
dropped=$( (tc -s qdisc show dev lo; nft list table inet lossy 2> /dev/null) | grep -oE '(dropped|packets) [0-9]+' | awk '{ n += $2 } END { print n + 0 }')
echo "datagrams lost on the way: $dropped"
[ "$dropped" -gt 0 ] || fail "nothing was lost: the case proves nothing"
pass
