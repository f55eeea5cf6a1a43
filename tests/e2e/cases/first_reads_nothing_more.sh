#!/bin/bash
# The first line comes before anything it does not show is read: with
# --first -n no registry, neighbour table or interface list is opened after
# the probes; -l reads the vendor through the index it built the first time,
# never the whole registry again.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

command -v strace > /dev/null || skip "strace is not installed"
under_wine && skip "strace sees Wine, not the program"
LINK_MAC=00:00:0c:12:34:56 device_on_lan --name "Switch"
WRAPPER=(strace -f -qq -e "trace=openat,open,socket" -o "$WORK/trace")
# LeakSanitizer cannot run under a tracer; the sanitized build's leaks are
# the other cases' to find.
[ -n "${WEBFIND_SANITIZED:-}" ] && RUN_ENV+=(ASAN_OPTIONS=detect_leaks=0)
run_webfind --first -n
expect_status 0
expect_out 'Name:Switch URL:http://10.1.0.2/\n'
grep -E 'oui|ieee|/proc/net/arp|vendors.index' "$WORK/trace" && fail "--first -n read what it does not show"
[ "$(grep -c 'socket(AF_NETLINK' "$WORK/trace")" -le 1 ] || fail "the interfaces were read more than once: $(cat "$WORK/trace")"

[ -r /usr/share/ieee-data/oui.csv ] || skip "the IEEE registry is not installed (ieee-data)"
for run in built used; do
    run_webfind -n -l
    expect_status 0
    grep -q 'vendor=Cisco Systems, Inc' "$OUT" || fail "$run: no vendor: $(cat "$OUT") $(cat "$ERR")"
done
[ -s "$WORK/home/.cache/webfind/vendors.index" ] || fail "no index in the user's cache folder"
grep -q 'oui.csv' "$WORK/trace" && fail "the registry was read again: $(grep oui "$WORK/trace")"
pass
