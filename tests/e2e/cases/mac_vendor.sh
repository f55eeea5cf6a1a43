#!/bin/bash
# The hardware of what answered: a device on a directly connected link has
# its MAC address from the neighbour table and, where the IEEE registry is
# installed, its vendor; a device reached through a router has neither. The
# default listing does not change; -l adds the line. A watch's events carry
# them, and with --check the check of the device that came up follows. A
# device on a link of this host's that is not in the neighbour table yet is
# said so.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up no-route
LINK_MAC=00:00:0c:12:34:56 device_behind_link 1 --name "Switch"
LINK_ALSO=10.9.9.9 device_behind_link 2 --name "Far" --from 10.9.9.9 --url "http://10.9.9.9/"
# The far device's answers come through 10.2.0.2, its router.
ip route add 10.9.9.9/32 via 10.2.0.2 dev va2
device_ready 1
device_ready 2

run_webfind -n -a --json
expect_status 0
command -v jq > /dev/null || skip "jq is not installed"
hardware() { jq -c --arg a "$1" '.[] | select(.address == $a) | [.mac, .vendor]' "$OUT"; }
[ -n "$(hardware 10.1.0.2)" ] || fail "the switch did not answer: $(cat "$OUT") $(cat "$ERR")"
if [ -r /usr/share/ieee-data/oui.csv ] && ! under_wine; then
    [ "$(hardware 10.1.0.2)" = '["00:00:0c:12:34:56","Cisco Systems, Inc"]' ] || fail "switch: $(hardware 10.1.0.2)"
else
    [ "$(hardware 10.1.0.2 | jq -r '.[0]')" = 00:00:0c:12:34:56 ] || fail "switch: $(hardware 10.1.0.2)"
fi
[ "$(hardware 10.9.9.9)" = '[null,null]' ] || fail "the far device: $(hardware 10.9.9.9) in $(cat "$OUT") $(cat "$ERR")"

run_webfind -n -a
expect_status 0
grep -qx 'Name:Switch URL:http://10.1.0.2/' "$OUT" || fail "listing: $(cat "$OUT")"
grep -q '  device:' "$OUT" && fail "the default listing changed: $(cat "$OUT")"
run_webfind -n -a -l
expect_status 0
grep -A1 -x 'Name:Switch URL:http://10.1.0.2/' "$OUT" | grep -q '^  device: address=10.1.0.2 mac=00:00:0c:12:34:56 vendor=' ||
    fail "long listing: $(cat "$OUT")"
grep -A1 -x 'Name:Far URL:http://10.9.9.9/' "$OUT" | grep -qx '  device: address=10.9.9.9 mac=- vendor=-' ||
    fail "long listing: $(cat "$OUT")"

# A device on the link that this host has not talked to since its entry
# went: the device still knows this host and answers without asking, so no
# entry comes back. -l says why its MAC address is missing, -v how to fill
# it, and --check, whose request fills it, shows it again.
ip neigh flush dev va1
run_webfind -n -a -l -v
expect_status 0
grep -A1 -x 'Name:Switch URL:http://10.1.0.2/' "$OUT" |
    grep -qx '  device: address=10.1.0.2 mac=- vendor=- (not in the neighbour table yet)' || fail "no reason: $(cat "$OUT")"
grep -q 'not in the neighbour table yet (10.1.0.2).*--check' "$ERR" || fail "no advice: $(cat "$ERR")"
grep -A1 -x 'Name:Far URL:http://10.9.9.9/' "$OUT" | grep -qx '  device: address=10.9.9.9 mac=- vendor=-' ||
    fail "a device behind a router has no entry to wait for: $(cat "$OUT")"
ip neigh flush dev va1
run_webfind -n -a -l --check
expect_status 0
grep -A1 -x 'Name:Switch URL:http://10.1.0.2/' "$OUT" | grep -q '^  device: address=10.1.0.2 mac=00:00:0c:12:34:56 ' ||
    fail "the check's request did not fill the table: $(cat "$OUT")"

# A watch's up event carries the hardware at once; the page's check follows
# as an event of its own.
run_webfind -a --watch=1 --duration=2 --json --check
expect_status 0
up=$(jq -c 'select(.event == "up" and .address == "10.1.0.2") | [.mac, has("check")]' "$OUT")
[ "$up" = '["00:00:0c:12:34:56",false]' ] || fail "the watch's up event: $(cat "$OUT")"
checked=$(jq -c 'select(.event == "checked" and .address == "10.1.0.2") | [.url, .check.result, .check.fetched]' "$OUT")
[ "$checked" = '["http://10.1.0.2/","unreachable",false]' ] || fail "the watch's check: $(cat "$OUT")"
pass
