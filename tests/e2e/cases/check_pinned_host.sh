#!/bin/bash
# --check connects to the answering device and nowhere else, however the URL
# spells its host. A private hosts file (bind-mounted over /etc/hosts in
# this case's own mount namespace, never the machine's) makes the spellings
# lie: "x%41.test" is the device, but "xa.test", what a URL parser decodes
# it to, is a third party; "127%2e9%2e0%2e9" decodes to the third party's
# address. Neither is fetched, and the third party's server sees no
# connection; a plain name that resolves to the device is fetched from it.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

[ -n "${WEBFIND_E2E_SYSFS:-}" ] || skip "no private mount namespace (unshare -m) for a hosts file of the case's own"
printf '127.1.0.3 x%%41.test\n127.9.0.9 xa.test\n127.1.0.5 device5.test\n' > "$WORK/hosts"
mount --bind "$WORK/hosts" /etc/hosts || skip "cannot bind-mount a hosts file here"
getent hosts xa.test | grep -q '^127\.9\.0\.9 ' || skip "the system's resolver does not read /etc/hosts here"

network_up
web_server device3 127.1.0.3 8080 title
web_server device5 127.1.0.5 8080 title
web_server third 127.9.0.9 8080 title
device encoded --from 127.1.0.3 --name "Encoded" --url "http://x%41.test:8080/"
device dotted --from 127.1.0.24 --name "Dotted" --url "http://127%2e9%2e0%2e9:8080/"
device named --from 127.1.0.5 --name "Named" --url "http://device5.test:8080/"

run_webfind -n --check
expect_status 0
grep -A1 -x 'Name:Encoded URL:http://x%41.test:8080/' "$OUT" | grep -q '^  check: not fetched: ' ||
    fail "the encoded host: $(cat "$OUT")"
grep -A1 -x 'Name:Dotted URL:http://127%2e9%2e0%2e9:8080/' "$OUT" | grep -q '^  check: not fetched: ' ||
    fail "the encoded address: $(cat "$OUT")"
grep -A1 -x 'Name:Named URL:http://device5.test:8080/' "$OUT" | grep -qx '  check: status=200 tls=- title=Router login' ||
    fail "the plain name: $(cat "$OUT")"
[ -s "$WORK/third.log" ] && fail "the third party's server was connected to: $(cat "$WORK/third.log")"
[ -s "$WORK/device3.log" ] && fail "a URL that may not be fetched was fetched: $(cat "$WORK/device3.log")"
grep -q 'connection from 127\.' "$WORK/device5.log" || fail "the device's own server saw no request"
pass
