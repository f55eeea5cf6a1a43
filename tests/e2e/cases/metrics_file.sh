#!/bin/bash
# A watch's metrics file, replaced each round: read after devices came and
# went (one with a name that tries to break the format), it has the devices
# up and no series for the one that went, and Prometheus' own promtool
# (unpacked, never installed or started) finds it valid. A file that cannot
# be written ends the watch at once.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "the metrics file is for node_exporter on Linux"
promtool=${WEBFIND_TOOLS:-}/promtool
[ -x "$promtool" ] || skip "promtool is not unpacked in ${WEBFIND_TOOLS:-build-tools} (make deps-tools)"
network_up
device going --from 127.0.0.51 --name "Goes away" --lifetime 2
device hostile --from 127.0.0.52 --name $'Quote" back\\slash\nnew line \xff \e]0;t\a' --url 'http://127.0.0.52/'
mkdir "$WORK/textfile"
metrics=$WORK/textfile/webfind.prom

env "${RUN_ENV[@]}" "$WEBFIND" --watch=1 --duration=8 --json --metrics "$metrics" > "$OUT" 2> "$ERR" &
watcher=$!
watchdog "$watcher" 30
wait_for "$OUT" '"event":"down","time":"[^"]*","address":"127\.0\.0\.51"'
# The round that said it down wrote its file right after.
for _ in $(seq 100); do grep -q 'webfind_devices 1$' "$metrics" && break; sleep 0.05; done
cp "$metrics" "$WORK/during.prom"
grep -qx 'webfind_devices 1' "$WORK/during.prom" || fail "not one device up: $(cat "$WORK/during.prom")"
grep -q '127.0.0.51' "$WORK/during.prom" && fail "the device that went still has a series: $(cat "$WORK/during.prom")"
grep -qxF 'webfind_device_up{address="127.0.0.52",name="Quote\" back\\slash\nnew line � \\x1B]0;t\\x07",url="http://127.0.0.52/"} 1' \
    "$WORK/during.prom" || fail "the hostile name is not escaped: $(cat "$WORK/during.prom")"
rounds=$(sed -n 's/^webfind_rounds_total //p' "$WORK/during.prom")
[ "${rounds:-0}" -ge 3 ] || fail "rounds: $rounds"
"$promtool" check metrics < "$WORK/during.prom" > "$WORK/promtool" 2>&1 || fail "promtool: $(cat "$WORK/promtool")"
wait "$watcher"
STATUS=$?
expect_status 0
"$promtool" check metrics < "$metrics" > "$WORK/promtool" 2>&1 || fail "promtool on the last file: $(cat "$WORK/promtool")"
[ "$(ls -A "$WORK/textfile")" = webfind.prom ] || fail "files left beside it: $(ls -A "$WORK/textfile")"

run_webfind --watch=1 --duration=2 --metrics "$WORK/missing/webfind.prom"
expect_status 4
grep -q "could not write the metrics: cannot create a file beside $WORK/missing/webfind.prom" "$ERR" ||
    fail "no reason: $(cat "$ERR")"
pass
