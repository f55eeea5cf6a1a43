#!/bin/bash
# ufw enabled (in a private mount namespace with a copy of /etc/ufw; the
# machine's own ufw is never touched), with and without webfind's profile
# installed: the advice names the profile only where it is there, and the
# command given, with the fixed port, finds the device.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "the firewall here is Linux's; Windows has its own"
command -v ufw > /dev/null || skip "ufw is not installed"
if [ -z "${WEBFIND_E2E_UFW:-}" ]; then
    unshare -m true 2> /dev/null || skip "no private mount namespace can be made here"
    exec unshare -m env WEBFIND_E2E_UFW=1 bash "$0" "$@"
fi
mkdir -p "$WORK/ufw"
cp -a /etc/ufw/. "$WORK/ufw"
cp /etc/default/ufw "$WORK/default-ufw"
rm -f "$WORK/ufw/applications.d/webfind"
mount --bind "$WORK/ufw" /etc/ufw && mount --bind "$WORK/default-ufw" /etc/default/ufw ||
    fail "cannot put copies of ufw's files in place"

device_on_lan --name "Printer"
ufw --force enable > "$WORK/ufw.log" 2>&1 || fail "cannot enable ufw: $(cat "$WORK/ufw.log")"
run_webfind -n -v
expect_status 0
expect_out ''
[ "$(advice)" = 'ufw allow from 10.1.0.0/24 to any port 13576 proto udp' ] || fail "advice without the profile: $(advice)"
run_advice
run_webfind -n --port 13576
expect_status 0
expect_out 'Name:Printer URL:http://10.1.0.2/\n'

# With the profile, and a fresh set of rules.
ufw --force reset > "$WORK/ufw.log" 2>&1 || fail "cannot reset ufw: $(cat "$WORK/ufw.log")"
cp "$E2E_DIR/../../firewall/ufw-webfind" /etc/ufw/applications.d/webfind || fail "cannot install the profile"
ufw --force enable > "$WORK/ufw.log" 2>&1 || fail "cannot enable ufw again: $(cat "$WORK/ufw.log")"
run_webfind -n -v
expect_status 0
expect_out ''
[ "$(advice)" = 'ufw allow from 10.1.0.0/24 to any app webfind' ] || fail "advice with the profile: $(advice)"
run_advice
run_webfind -n --port 13576
expect_status 0
expect_out 'Name:Printer URL:http://10.1.0.2/\n'
pass
