#!/bin/bash
# Drops that cannot meet a device's answer (invalid connections, another
# source, another port, TCP, another interface) under policy accept: the
# diagnosis reads exactly as on a host with no rules at all.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "the firewall here is Linux's; Windows has its own"
command -v nft > /dev/null || skip "nft is not installed (nftables)"
device_on_lan --name "Printer" --probes 0
run_webfind -n -v
expect_status 0
cp "$ERR" "$WORK/without-rules"
grep -q 'nothing on this host explains it' "$ERR" || fail "a host without rules: $(cat "$ERR")"

nft -f - <<'RULES' || fail "cannot load the firewall rules"
table inet filter {
    chain input {
        type filter hook input priority 0; policy accept;
        ct state invalid drop
        ip saddr 203.0.113.0/24 drop
        udp dport 53 drop
        tcp dport { 23, 135-139 } reject with tcp reset
        iifname "wg*" drop
    }
}
RULES
run_webfind -n -v
expect_status 0
diff "$WORK/without-rules" "$ERR" > "$WORK/diff" || fail "harmless drops changed the diagnosis: $(cat "$WORK/diff")"
pass
