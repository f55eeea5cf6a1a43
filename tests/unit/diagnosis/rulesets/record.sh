#!/bin/bash
# Records the firewall rulesets the rule walker's tests read, each made in a
# private network namespace (and, for ufw, a private mount namespace with a
# copy of /etc/ufw), never on this machine's own firewall. Needs root, nft,
# iptables (legacy and nft) and ufw.
#   tests/unit/diagnosis/rulesets/record.sh
set -eu
cd "$(dirname "$0")"

# nft_case NAME RULES: the JSON of a ruleset loaded from RULES, and its
# listing with the rules' handles.
nft_case() {
    unshare -n sh -c 'nft -f - && nft -j list ruleset > "$1.json" && nft -a list ruleset > "$1.nft"' nft-case "$1" <<< "$2"
    echo "recorded $1.json, $1.nft"
}

nft_case nft-policy-drop 'table inet filter {
    chain input {
        type filter hook input priority 0; policy drop;
        ct state established,related accept
        iif lo accept
    }
}'

nft_case nft-reject-icmp 'table inet filter {
    chain input {
        type filter hook input priority filter; policy accept;
        ct state established,related accept
        ct state invalid drop
        iif lo accept
        ip protocol icmp accept
        meta l4proto ipv6-icmp accept
        tcp dport 22 accept
        reject with icmp type port-unreachable
    }
}'

nft_case nft-harmless-drops 'table inet filter {
    chain input {
        type filter hook input priority 0; policy accept;
        ct state invalid drop
        ip saddr 203.0.113.0/24 drop
        udp dport 53 drop
        tcp dport { 23, 135-139 } reject with tcp reset
        iifname "wg*" udp dport 13576 drop
    }
}'

nft_case nft-admits-fixed-port 'table inet filter {
    chain input {
        type filter hook input priority 0; policy drop;
        ct state established,related accept
        udp dport 13576 accept
    }
}'

nft_case nft-chains-and-priorities 'table inet early {
    chain pre {
        type filter hook prerouting priority -150; policy accept;
        ip saddr 192.168.1.0/24 jump lan
    }
    chain lan {
        udp dport 13576 return
        udp dport 1024-65535 drop
    }
}
table ip late {
    chain input {
        type filter hook input priority 10; policy accept;
    }
}'

nft_case nft-unreadable-rule 'table inet filter {
    chain input {
        type filter hook input priority 0; policy accept;
        meta mark 0x2a drop
        udp dport 13576 numgen random mod 2 0 drop
    }
}'

unshare -n sh -c 'iptables-nft -P INPUT DROP &&
    iptables-nft -A INPUT -m conntrack --ctstate RELATED,ESTABLISHED -j ACCEPT &&
    iptables-nft -A INPUT -i lo -j ACCEPT &&
    nft -j list ruleset > iptables-nft-drop.json && nft -a list ruleset > iptables-nft-drop.nft &&
    iptables-nft-save | grep -v "^#" > iptables-nft-drop.txt'
echo "recorded iptables-nft-drop.json, iptables-nft-drop.nft, iptables-nft-drop.txt"

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
