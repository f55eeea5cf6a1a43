#!/bin/bash
# iptables' default-deny, through iptables-nft (on a host where nft is
# installed too) and through the legacy tables: each is named as iptables',
# the advice is an iptables command for those very tables, and running it
# with the fixed port finds the device. Each Keep step is carried out (its
# command run, in this case's own /etc), the rules are dropped as a reboot
# drops them and loaded as the step says a boot loads them, and the device
# is found again: legacy rules are saved with legacy's own tools, never with
# netfilter-persistent's iptables-save, which reaches nft's tables.
# shellcheck disable=SC2016  # the steps' own text
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "the firewall here is Linux's; Windows has its own"
command -v iptables-nft > /dev/null || skip "iptables is not installed"
private_etc
device_on_lan --name "Router"

# keep_and_reboot FLUSH...: runs the command of the Keep step in KEPT,
# runs FLUSH (what a reboot does to the rules), then loads the rules as the
# step says a boot does ("load it at boot with COMMAND").
keep_and_reboot() {
    local save load
    save=$(head -1 <<< "$KEPT")
    load=$(sed -n 's/^and load it at boot with \([^:(]*[^:( ]\).*/\1/p' <<< "$KEPT")
    [ -n "$save" ] && [ -n "$load" ] || fail "the Keep step: $KEPT"
    echo "keeping: ${save//sudo /}"
    bash -c "${save//sudo /}" || fail "the Keep step failed: $save"
    "$@" || fail "cannot flush"
    echo "loading at boot: $load"
    bash -c "$load" || fail "the boot's load failed: $load"
}

iptables-nft -P INPUT DROP && iptables-nft -A INPUT -m conntrack --ctstate RELATED,ESTABLISHED -j ACCEPT ||
    fail "cannot set iptables-nft up"
run_webfind -n -v
expect_status 0
expect_out ''
grep -q 'The firewall drops incoming UDP (iptables, table filter, chain INPUT: policy drop)' "$ERR" ||
    fail "iptables-nft's policy was not named: $(cat "$ERR")"
advice | grep -q '^iptables\(-nft\)\? -I INPUT -p udp --dport 13576 -j ACCEPT$' || fail "advice: $(advice)"
advice | grep -q 'nft insert' && fail "nft commands for iptables' tables: $(advice)"
KEPT=$(keep)
run_advice
run_webfind -n --port 13576
expect_status 0
expect_out 'Name:Router URL:http://10.1.0.2/\n'
grep -q "iptables-nft-save > /etc/iptables/rules.v4" <<< "$KEPT" || fail "the Keep step: $KEPT"
keep_and_reboot sh -c 'iptables-nft -F INPUT && iptables-nft -P INPUT ACCEPT'
iptables-nft -S INPUT | grep -q -- '-P INPUT DROP' || fail "the policy was not loaded at boot"
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
KEPT=$(keep)
run_advice
run_webfind -n --port 13576
expect_status 0
expect_out 'Name:Router URL:http://10.1.0.2/\n'
grep -q "netfilter-persistent save" <<< "$KEPT" && ! iptables --version | grep -q legacy &&
    fail "legacy rules kept with netfilter-persistent, which saves nft's: $KEPT"
if grep -q "iptables-legacy-save > /etc/iptables/rules.v4" <<< "$KEPT"; then
    keep_and_reboot sh -c 'iptables-legacy -F INPUT && iptables-legacy -P INPUT ACCEPT'
    iptables-legacy -S INPUT | grep -q -- '-P INPUT DROP' || fail "the policy was not loaded at boot"
    run_webfind -n --port 13576
    expect_status 0
    expect_out 'Name:Router URL:http://10.1.0.2/\n'
fi
pass
