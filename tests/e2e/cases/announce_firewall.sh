#!/bin/bash
# The announcer says why nobody finds it when its own host's firewall drops
# the probes, and its advice works. nftables with a default-deny input
# policy, then legacy iptables with a REJECT: each is named at start, with
# the command for those very tables; run as printed, a finder behind the
# link finds the host; the Keep step, carried out in this case's own /etc,
# survives a reboot (the rules dropped, then loaded as a boot loads them).
# As a user, who cannot read the rules, it says the firewall could not be
# checked. The announcer runs here, where the firewall is; the finder runs
# behind the link.
# shellcheck disable=SC2016  # the steps' own text
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "the firewall here is Linux's; Windows has its own"
: "${ANNOUNCER:?set ANNOUNCER to the webfind-announce binary}"
command -v nft > /dev/null || skip "nft is not installed (nftables)"
private_etc
network_up no-route
host_behind_links finder 1 sleep 60
nsenter -t "$HOST_PID" -n ip route add 224.0.0.0/4 dev vb1 || fail "no route for the finder's probes"
# The finder behind the link: its listing.
find_host() { nsenter -t "$HOST_PID" -n env "${CLEAN_ENV[@]}" "$WEBFIND" -n 2> /dev/null; }
ERR=$WORK/announcer.log
announce() {
    "$@" "$ANNOUNCER" --name "Host" > "$ERR" 2>&1 &
    ANNOUNCER_PID=$!
    PIDS+=("$ANNOUNCER_PID")
    wait_for "$ERR" '^webfind-announce: announcing "Host" on va1'
}
stop() { kill -TERM "$ANNOUNCER_PID" && wait "$ANNOUNCER_PID"; }

load_ruleset nft-policy-drop
if command -v setpriv > /dev/null; then
    announce "${AS_USER[@]}"
    wait_for "$ERR" '^webfind-announce: the firewall could not be checked \(reading it needs root\)'
    stop
fi
announce
wait_for "$ERR" '^webfind-announce: the firewall drops discovery probes \(UDP to 224\.0\.0\.138 port 3576\) arriving on va1 \(nftables, table inet filter, chain input: policy drop\); finders there cannot find this host$'
[ "$(advice)" = 'nft insert rule inet filter input udp dport 3576 accept' ] || fail "advice: $(advice)"
[ -z "$(find_host)" ] || fail "found through the firewall"
run_advice
[ "$(find_host)" = "Name:Host URL:http://10.1.0.1/" ] || fail "not found after the advice: $(find_host)"
keep | grep -q '^add "udp dport 3576 accept" to /etc/nftables.conf, in chain input of table inet filter, before its first rule ' ||
    fail "the Keep step: $(keep)"
# As a boot would: the ruleset as it was, with the rule where the step says.
nft flush ruleset
load_ruleset nft-policy-drop
first=$(nft list chain inet filter input | sed -n '/policy drop;/{n;s/^\s*//;p;q}')
{ echo 'flush ruleset'; nft list ruleset; } | sed "0,/^\(\s*\)$first$/s//\1udp dport 3576 accept\n&/" > /etc/nftables.conf
nft flush ruleset
nft -f /etc/nftables.conf || fail "cannot load /etc/nftables.conf: $(cat /etc/nftables.conf)"
[ "$(find_host)" = "Name:Host URL:http://10.1.0.1/" ] || fail "not found after a reboot: $(find_host)"
stop
nft flush ruleset

if ! command -v iptables-legacy > /dev/null || ! iptables-legacy -A INPUT -p udp -j REJECT 2> /dev/null; then
    echo "note: legacy iptables cannot be used here; only nftables was checked"
    pass
fi
announce
wait_for "$ERR" '^webfind-announce: the firewall drops discovery probes .* arriving on va1 \(iptables-legacy, table filter, chain INPUT: -A INPUT -p udp -j REJECT'
advice | grep -q -- '-I INPUT -p udp --dport 3576 -j ACCEPT$' || fail "advice: $(advice)"
[ -z "$(find_host)" ] || fail "found through the legacy firewall"
run_advice
[ "$(find_host)" = "Name:Host URL:http://10.1.0.1/" ] || fail "not found after the advice: $(find_host)"
KEPT=$(keep)
save=$(head -1 <<< "$KEPT")
load=$(sed -n 's/^and load it at boot with \([^:(]*[^:( ]\).*/\1/p' <<< "$KEPT")
if [ -n "$save" ] && [ -n "$load" ]; then
    bash -c "${save//sudo /}" || fail "the Keep step failed: $save"
    iptables-legacy -F INPUT
    bash -c "$load" || fail "the boot's load failed: $load"
    [ "$(find_host)" = "Name:Host URL:http://10.1.0.1/" ] || fail "not found after a reboot: $(find_host)"
fi
stop
iptables-legacy -F INPUT
pass
