#!/bin/sh
# The firewall profiles in the packages: webfind's admit UDP to webfind's
# firewall port alone, webfind-announce's to the discovery port alone, the
# ports everywhere the ones the programs suggest, and each firewall would
# take its file. ufw reads its profile itself ("ufw app info", with the
# profile folder replaced in a private mount namespace; ufw is never
# enabled). firewalld is not installed (it would firewall the machine): its
# service files are checked by parsing them.
set -u
cd "$(dirname "$0")/../.." || exit 1
fail() { echo "FAIL [firewall profiles]: $*"; exit 1; }
command -v xmllint > /dev/null || fail "xmllint is missing (libxml2-utils)"

finder=$(sed -n 's/^constexpr uint16_t FIREWALL_PORT = \([0-9]*\);$/\1/p' app/diagnosis/Firewall.h)
[ -n "$finder" ] || fail "FIREWALL_PORT not found in app/diagnosis/Firewall.h"
discovery=$(sed -n 's/^constexpr uint16_t DISCOVERY_PORT = \([0-9]*\);$/\1/p' app/wire/Messages.h)
[ -n "$discovery" ] || fail "DISCOVERY_PORT not found in app/wire/Messages.h"
profiles=$(mktemp -d)
trap 'rm -rf "$profiles"' EXIT

# check NAME PORT: the ufw, firewalld and nftables files of NAME.
check() {
    name=$1 port=$2
    grep -qx "ports=$port/udp" "firewall/ufw-$name" || fail "$name's ufw profile does not admit exactly $port/udp"
    [ "$(grep -c '^ports=' "firewall/ufw-$name")" -eq 1 ] || fail "$name's ufw profile has more than one ports line"
    if command -v ufw > /dev/null && unshare -m true 2> /dev/null; then
        rm -f "$profiles"/*
        cp "firewall/ufw-$name" "$profiles/$name"
        info=$(unshare -m sh -c 'mount --bind "$1" /etc/ufw/applications.d && ufw app info "$2"' ufw-check "$profiles" "$name" 2>&1) ||
            fail "ufw does not accept $name's profile: $info"
        printf '%s\n' "$info" | grep -qx "  $port/udp" || fail "ufw reads other ports for $name: $info"
    else
        echo "note: ufw or a private mount namespace is missing; $name's ufw profile was checked as text only"
    fi

    xml=firewall/firewalld-$name.xml
    xmllint --noout "$xml" || fail "$xml is not well-formed XML"
    [ "$(xmllint --xpath 'name(/*)' "$xml")" = service ] || fail "$xml: the root element is not <service>"
    [ "$(xmllint --xpath 'count(/service/*)' "$xml")" = 3 ] || fail "$xml: <service> should hold <short>, <description> and one <port>"
    [ "$(xmllint --xpath 'string(/service/port/@protocol)' "$xml")" = udp ] || fail "$xml: the port is not UDP"
    [ "$(xmllint --xpath 'string(/service/port/@port)' "$xml")" = "$port" ] || fail "$xml: the port is not $port"
    [ "$(xmllint --xpath 'string(/service/short)' "$xml")" = "$name" ] || fail "$xml: its <short> name is not $name"

    snippet=firewall/nftables-$name.nft
    grep -q "udp dport $port accept" "$snippet" || fail "$snippet does not admit port $port"
    if command -v nft > /dev/null && unshare -n true 2> /dev/null; then
        loaded=$(unshare -n sh -c 'nft add table inet filter && nft add chain inet filter input "{ type filter hook input priority 0; }" &&
            nft -f "$1" && nft list chain inet filter input' nft-check "$snippet" 2>&1) ||
            fail "nft does not load $snippet: $loaded"
        printf '%s\n' "$loaded" | grep -q "udp dport $port accept" || fail "nft loaded something else from $snippet: $loaded"
    fi
}
check webfind "$finder"
check webfind-announce "$discovery"
echo "PASS [firewall profiles]: webfind $finder/udp, webfind-announce $discovery/udp in ufw, firewalld and nftables"
