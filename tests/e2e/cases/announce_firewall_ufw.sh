#!/bin/bash
# ufw enabled on the announcing host (in a private mount namespace with a
# copy of /etc/ufw; the machine's own ufw is never touched), with
# webfind-announce's profile installed: the announcer names ufw and its
# profile, and the command given lets a finder behind the link find it.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "the firewall here is Linux's; Windows has its own"
: "${ANNOUNCER:?set ANNOUNCER to the webfind-announce binary}"
command -v ufw > /dev/null || skip "ufw is not installed"
if [ -z "${WEBFIND_E2E_UFW:-}" ]; then
    unshare -m true 2> /dev/null || skip "no private mount namespace can be made here"
    exec unshare -m env WEBFIND_E2E_UFW=1 bash "$0" "$@"
fi
mkdir -p "$WORK/ufw"
cp -a /etc/ufw/. "$WORK/ufw"
cp /etc/default/ufw "$WORK/default-ufw"
cp "$E2E_DIR/../../firewall/ufw-webfind-announce" "$WORK/ufw/applications.d/webfind-announce"
mount --bind "$WORK/ufw" /etc/ufw && mount --bind "$WORK/default-ufw" /etc/default/ufw ||
    fail "cannot put copies of ufw's files in place"

network_up no-route
host_behind_links finder 1 sleep 60
nsenter -t "$HOST_PID" -n ip route add 224.0.0.0/4 dev vb1 || fail "no route for the finder's probes"
find_host() { nsenter -t "$HOST_PID" -n env "${CLEAN_ENV[@]}" "$WEBFIND" -n 2> /dev/null; }
ufw --force enable > "$WORK/ufw.log" 2>&1 || fail "cannot enable ufw: $(cat "$WORK/ufw.log")"
ERR=$WORK/announcer.log
"$ANNOUNCER" --name "Host" > "$ERR" 2>&1 &
PIDS+=("$!")
wait_for "$ERR" '^webfind-announce: the firewall drops discovery probes .* arriving on va1 \(iptables, table filter, chain INPUT: policy drop\)'
[ "$(advice)" = 'ufw allow from 10.1.0.0/24 to any app webfind-announce' ] || fail "advice: $(advice)"
[ -z "$(find_host)" ] || fail "found through ufw"
run_advice
[ "$(find_host)" = "Name:Host URL:http://10.1.0.1/" ] || fail "not found after the advice: $(find_host)"
pass
