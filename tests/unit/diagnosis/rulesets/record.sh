#!/bin/bash
# Records the firewall rulesets the rule walker's tests read, each made in a
# private network namespace (and, for ufw, a private mount namespace with a
# copy of /etc/ufw), never on this machine's own firewall. Needs root, nft,
# iptables (legacy and nft) and ufw.
#   tests/unit/diagnosis/rulesets/record.sh
set -eu
cd "$(dirname "$0")"

# nft_case NAME RULES: the JSON of a ruleset loaded from RULES, and its
# listing with the rules' handles: NAME.json and NAME.nft.
# Interfaces va1, va2, va3 and va9 are there, for the rules that name one
# (an ingress chain must be on one). Where iptables-nft-save shows a table,
# its view goes to NAME.iptables.
nft_case() {
    unshare -n sh -c 'for n in 1 2 3 9; do ip link add "va$n" type veth peer name "vb$n"; done &&
        nft -f - && nft -j list ruleset > "$1.json" && nft -a list ruleset > "$1.nft" &&
        { iptables-nft-save | grep -v "^# [GC]" > "$1.iptables" || true; } &&
        { [ -s "$1.iptables" ] || rm "$1.iptables"; }' nft-case "$1" <<< "$2"
    echo "recorded $1: $(ls "$1".json "$1".nft "$1".iptables 2> /dev/null | tr '\n' ' ')"
}

# Every nftables ruleset the tests read is written once, as NAME.rules,
# which the end-to-end cases load too.
for rules in *.rules; do
    nft_case "${rules%.rules}" "$(cat "$rules")"
done

unshare -n sh -c 'iptables-nft -P INPUT DROP &&
    iptables-nft -A INPUT -m conntrack --ctstate RELATED,ESTABLISHED -j ACCEPT &&
    iptables-nft -A INPUT -i lo -j ACCEPT &&
    nft -j list ruleset > iptables-nft-drop.json && nft -a list ruleset > iptables-nft-drop.nft &&
    iptables-nft-save | grep -v "^#" > iptables-nft-drop.txt'
echo "recorded iptables-nft-drop.json, iptables-nft-drop.nft, iptables-nft-drop.txt"

unshare -n sh -c 'iptables-nft -t raw -A PREROUTING -p udp --sport 3576 -j DROP &&
    nft -j list ruleset > iptables-nft-raw.json && nft -a list ruleset > iptables-nft-raw.nft &&
    iptables-nft-save | grep -v "^# [GC]" > iptables-nft-raw.txt'
echo "recorded iptables-nft-raw.json, iptables-nft-raw.nft, iptables-nft-raw.txt"

unshare -n sh -c 'iptables-legacy -P INPUT DROP &&
    iptables-legacy -A INPUT -m state --state RELATED,ESTABLISHED -j ACCEPT &&
    iptables-legacy -A INPUT -p udp -m udp --dport 53 -j ACCEPT &&
    iptables-legacy-save | grep -v "^#" > iptables-legacy-drop.txt'
echo "recorded iptables-legacy-drop.txt"

# ufw as Debian ships it, enabled, with and without an allow rule for 13576.
for allowed in no yes; do
    unshare -n -m bash -c '
        set -e
        copy=$(mktemp -d)
        cp -a /etc/ufw/. "$copy"
        mount --bind "$copy" /etc/ufw
        ufw --force enable > /dev/null
        [ "$1" = yes ] && ufw allow from 192.168.1.0/24 to any port 13576 proto udp > /dev/null
        iptables-nft-save | grep -v "^#" > "$2.txt"
        rm -rf "$copy"' ufw-record "$allowed" "ufw-enabled$([ "$allowed" = yes ] && echo -allows-13576)"
done
echo "recorded ufw-enabled.txt, ufw-enabled-allows-13576.txt"
