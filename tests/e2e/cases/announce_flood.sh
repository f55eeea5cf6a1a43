#!/bin/bash
# Never an amplifier: 100,000 probes from 1,000 forged sources on the link,
# over a second, get no more answers than the limits allow (10 a second to a
# source, 500 to all), counted where the answers arrive; and a real webfind
# run in the middle of the flood still finds the host.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "the rules are the same code on Windows; announce_found proves the Windows build answers"
: "${ANNOUNCER:?set ANNOUNCER to the webfind-announce binary}"
command -v python3 > /dev/null || skip "python3 is not installed"
network_up no-route
LINK_PREFIX=20 host_behind_links announcer 1 "$ANNOUNCER" --name "Host"
wait_for "$WORK/announcer.log" '^webfind-announce: announcing '
ip route add 224.0.0.0/4 dev va1
# The forged sources are addresses of this host's, so that the answers to
# them arrive here to be counted: 10.1.1.0 to 10.1.4.231.
for i in $(seq 0 999); do echo "addr add 10.1.$((1 + i / 256)).$((i % 256))/32 dev va1"; done | ip -batch - ||
    fail "cannot give va1 the forged addresses"
python3 "$E2E_DIR/prober.py" count 40000 8 > "$WORK/count.log" &
counter=$!
wait_listening "$WORK/count.log" || fail "the counter did not start"
start=$(date +%s%N)
# A sanitizer build reads several times slower: on a machine busy with other
# builds it could not drain the whole flood, and the finder's probes were
# lost in the kernel's full queue before the rules could stand them first.
# Its flood is a quarter as fast, still 50 times the shared budget.
rate=100000
[ -n "${WEBFIND_SANITIZED:-}" ] && rate=25000
python3 "$E2E_DIR/prober.py" flood 10.1.1.0 1000 "$rate" 10.1.0.1 "$rate" > "$WORK/flood.log" &
flood=$!
sleep 0.3
run_webfind -n
expect_status 0
expect_out 'Name:Host URL:http://10.1.0.2/\n'
wait "$flood"
wait "$counter"
read -r _ answers _ most < <(tail -1 "$WORK/count.log")
echo "flood: $(cat "$WORK/flood.log"), answers: $answers (at most $most to one source) within $((($(date +%s%N) - start) / 1000000)) ms"
# Over the counter's 8 s: a full shared bucket, then 500 a second; a full
# bucket of 10 for one source, then 10 a second.
[ "$answers" -le $((500 + 500 * 8)) ] || fail "$answers answers to the flood"
[ "$most" -le $((10 + 10 * 8)) ] || fail "$most answers to one source"
[ "$answers" -gt 0 ] || fail "no answer reached the counter: the case proves nothing"
pass
