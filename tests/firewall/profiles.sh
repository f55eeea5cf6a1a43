#!/bin/sh
# The firewall profiles in the package: each admits UDP to webfind's firewall
# port alone, the port everywhere is the one the tool suggests, and each
# firewall would take its file. ufw reads its profile itself ("ufw app info",
# with the profile folder replaced in a private mount namespace; ufw is never
# enabled). firewalld is not installed (it would firewall the machine): its
# service file is checked by parsing it.
set -u
cd "$(dirname "$0")/../.." || exit 1
fail() { echo "FAIL [firewall profiles]: $*"; exit 1; }

port=$(sed -n 's/^constexpr uint16_t FIREWALL_PORT = \([0-9]*\);$/\1/p' app/diagnosis/Firewall.h)
[ -n "$port" ] || fail "FIREWALL_PORT not found in app/diagnosis/Firewall.h"

# ufw
grep -qx "ports=$port/udp" firewall/ufw-webfind || fail "ufw profile does not admit exactly $port/udp"
[ "$(grep -c '^ports=' firewall/ufw-webfind)" -eq 1 ] || fail "ufw profile has more than one ports line"
if command -v ufw > /dev/null && unshare -m true 2> /dev/null; then
    profiles=$(mktemp -d)
    trap 'rm -rf "$profiles"' EXIT
    cp firewall/ufw-webfind "$profiles/webfind"
    info=$(unshare -m sh -c 'mount --bind "$1" /etc/ufw/applications.d && ufw app info webfind' ufw-check "$profiles" 2>&1) ||
        fail "ufw does not accept the profile: $info"
    printf '%s\n' "$info" | grep -qx "  $port/udp" || fail "ufw reads other ports: $info"
else
    echo "note: ufw or a private mount namespace is missing; the ufw profile was checked as text only"
fi

# firewalld
xml=firewall/firewalld-webfind.xml
command -v xmllint > /dev/null || fail "xmllint is missing (libxml2-utils)"
xmllint --noout "$xml" || fail "$xml is not well-formed XML"
[ "$(xmllint --xpath 'name(/*)' "$xml")" = service ] || fail "the root element is not <service>"
[ "$(xmllint --xpath 'count(/service/*)' "$xml")" = 3 ] || fail "<service> should hold <short>, <description> and one <port>"
[ "$(xmllint --xpath 'count(/service/port)' "$xml")" = 1 ] || fail "more than one <port>"
[ "$(xmllint --xpath 'string(/service/port/@protocol)' "$xml")" = udp ] || fail "the port is not UDP"
[ "$(xmllint --xpath 'string(/service/port/@port)' "$xml")" = "$port" ] || fail "the port is not $port"
[ -n "$(xmllint --xpath 'string(/service/short)' "$xml")" ] || fail "no <short> name"

# nftables
grep -q "udp dport $port accept" firewall/nftables-webfind.nft || fail "the nftables snippet does not admit port $port"
if command -v nft > /dev/null && unshare -n true 2> /dev/null; then
    check=$(unshare -n sh -c 'nft add table inet filter && nft add chain inet filter input "{ type filter hook input priority 0; }" &&
        nft -f "$1" && nft list chain inet filter input' nft-check firewall/nftables-webfind.nft 2>&1) ||
        fail "nft does not load the snippet: $check"
    printf '%s\n' "$check" | grep -q "udp dport $port accept" || fail "nft loaded something else: $check"
fi
echo "PASS [firewall profiles]: port $port/udp in ufw, firewalld and nftables"
