#!/bin/bash
# --check fetches each device's own page, in parallel, and says what came
# back: status and title, a self-signed certificate, a redirect (not
# followed), a port that refuses, a server that never answers, one that
# answers and then sends no more, a page of 10 MB, a hostile title; a URL whose host is another address is never
# fetched: its server sees no connection. Pages that cannot be reached are
# listed but not opened.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up
web_server plain 127.0.0.21 8080 title
device plain --from 127.0.0.21 --name "Plain" --url "http://127.0.0.21:8080/"
if under_wine; then
    run_webfind -n --check --json
    expect_status 0
    grep -qF '"check": {"result":"answered","fetched":true,"status":200,"title":"Router login","location":null,"tls":null,"error":null}' "$OUT" ||
        fail "the plain page was not read: $(cat "$OUT")"
    pass
fi
web_server secure 127.0.0.22 8443 title tls
web_server moved 127.0.0.23 8080 redirect
web_server hang 127.0.0.25 8080 hang
web_server huge 127.0.0.26 8080 huge
web_server hostile 127.0.0.27 8080 hostile
web_server third 127.0.0.99 8080 title
web_server trickle 127.0.0.29 8080 trickle
device secure --from 127.0.0.22 --name "Secure" --url "https://127.0.0.22:8443/"
device moved --from 127.0.0.23 --name "Moved" --url "http://127.0.0.23:8080/"
device refused --from 127.0.0.24 --name "Refused" --url "http://127.0.0.24:8081/"
device hang --from 127.0.0.25 --name "Hang" --url "http://127.0.0.25:8080/"
device huge --from 127.0.0.26 --name "Huge" --url "http://127.0.0.26:8080/"
device hostile --from 127.0.0.27 --name "Hostile" --url "http://127.0.0.27:8080/"
device elsewhere --from 127.0.0.28 --name "Elsewhere" --url "http://127.0.0.99:8080/"
device trickle --from 127.0.0.29 --name "Trickle" --url "http://127.0.0.29:8080/"

run_webfind --check
expect_status 0
# The messages of the network library vary a little: the lines that matter.
grep -qx '  check: status=200 tls=- title=Router login' "$OUT" || fail "plain: $(cat "$OUT")"
grep -qx '  check: status=200 tls=self-signed title=Router login' "$OUT" || fail "secure: $(cat "$OUT")"
grep -qx '  check: status=302 location=https://127.0.0.23/login tls=-' "$OUT" || fail "redirect: $(cat "$OUT")"
grep -A1 '^Name:Refused' "$OUT" | grep -qx '  check: unreachable: connection refused' || fail "refused: $(cat "$OUT")"
grep -A1 '^Name:Hang' "$OUT" | grep -qx '  check: unreachable: timed out' || fail "hang: $(cat "$OUT")"
grep -qx '  check: status=200 tls=- title=Huge page' "$OUT" || fail "huge: $(cat "$OUT")"
grep -qxF '  check: status=200 tls=- title=<b>\x1B[2J\x9B31m</b><script>\xE2\x80\xAEevil' "$OUT" || fail "hostile: $(cat "$OUT")"
grep -qx '  check: not fetched: host is not the answering device' "$OUT" || fail "elsewhere: $(cat "$OUT")"
grep -A1 '^Name:Trickle' "$OUT" | grep -q '^  check: status=200 .*title=Router login' || fail "trickle: $(cat "$OUT")"
[ "$(grep -c '^Name:' "$OUT")" -eq 9 ] || fail "not every device listed"
if LC_ALL=C grep -q $'\x1b' "$OUT"; then fail "an escape byte reached the terminal"; fi
[ -s "$WORK/third.log" ] && fail "the third party's server was connected to: $(cat "$WORK/third.log")"
# What could not be reached is not opened.
expect_opened http://127.0.0.21:8080/ https://127.0.0.22:8443/ http://127.0.0.23:8080/ http://127.0.0.26:8080/ \
    http://127.0.0.27:8080/ http://127.0.0.99:8080/ http://127.0.0.29:8080/
grep -q '^webfind: not opening http://127.0.0.24:8081/: it could not be reached' "$ERR" || fail "no note: $(cat "$ERR")"
grep -q '^webfind: not opening http://127.0.0.25:8080/: it could not be reached' "$ERR" || fail "no note: $(cat "$ERR")"

run_webfind --check --json
expect_status 0
command -v jq > /dev/null || skip "jq is not installed: the JSON half was not checked"
check() { jq -c --arg a "$1" '.[] | select(.address == $a) | .check' "$OUT"; }
[ "$(check 127.0.0.21)" = '{"result":"answered","fetched":true,"status":200,"title":"Router login","location":null,"tls":null,"error":null}' ] ||
    fail "plain JSON: $(check 127.0.0.21)"
[ "$(check 127.0.0.22 | jq -r .tls)" = self-signed ] || fail "secure JSON: $(check 127.0.0.22)"
[ "$(check 127.0.0.23 | jq -c '[.status, .location]')" = '[302,"https://127.0.0.23/login"]' ] || fail "redirect JSON: $(check 127.0.0.23)"
# "fetched" says the page answered: a page that could not be reached was not.
[ "$(check 127.0.0.24 | jq -c '[.result, .fetched, .status, .error]')" = '["unreachable",false,null,"connection refused"]' ] ||
    fail "refused JSON: $(check 127.0.0.24)"
[ "$(check 127.0.0.28 | jq -c '[.result, .fetched, .error]')" = '["not fetched",false,"host is not the answering device"]' ] ||
    fail "elsewhere JSON: $(check 127.0.0.28)"
[ "$(check 127.0.0.27 | jq -r .title)" = $'<b>\x1b[2J\ufffd31m</b><script>\u202eevil' ] || fail "hostile JSON: $(check 127.0.0.27)"
[ -s "$WORK/third.log" ] && fail "the third party's server was connected to: $(cat "$WORK/third.log")"
pass
