#!/bin/bash
# The hardware of what answered: a device on a directly connected link has
# its MAC address from the neighbour table and, where the IEEE registry is
# installed, its vendor; a device reached through a router has neither. The
# default listing does not change; -l adds the line. A watch's events carry
# them, and with --check the check of the device that came up.
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

run_webfind -a --watch=1 --duration=2 --json --check
expect_status 0
up=$(jq -c 'select(.event == "up" and .address == "10.1.0.2") | [.mac, .check.fetched, (.check.error != null)]' "$OUT")
[ "$up" = '["00:00:0c:12:34:56",true,true]' ] || fail "the watch's up event: $(cat "$OUT")"
pass
