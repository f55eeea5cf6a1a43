#!/bin/bash
# node_exporter (unpacked, never installed), started here inside the case's
# own network namespace with only its textfile collector, reads the watch's
# metrics through a link in its folder, as the service's documentation
# says to set it up; webfind_device_up comes back from its /metrics over
# loopback.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "the metrics file is for node_exporter on Linux"
exporter=${WEBFIND_TOOLS:-}/prometheus-node-exporter
[ -x "$exporter" ] || skip "node_exporter is not unpacked in ${WEBFIND_TOOLS:-build-tools} (make deps-tools)"
command -v python3 > /dev/null || skip "python3 is not installed"
network_up
device printer --from 127.0.0.61 --name "Printer"
mkdir "$WORK/run" "$WORK/textfile"
ln -s "$WORK/run/webfind.prom" "$WORK/textfile/webfind.prom"

env "${RUN_ENV[@]}" "$WEBFIND" --watch=1 --duration=20 --metrics "$WORK/run/webfind.prom" > "$OUT" 2> "$ERR" &
watcher=$!
PIDS+=("$watcher")
"$exporter" --web.listen-address=127.0.0.1:19100 --collector.disable-defaults --web.disable-exporter-metrics \
    --collector.textfile --collector.textfile.directory="$WORK/textfile" > "$WORK/exporter.log" 2>&1 &
PIDS+=("$!")
scrape() {
    python3 - > "$WORK/scraped" 2>&1 <<'PY'
import urllib.request
print(urllib.request.urlopen("http://127.0.0.1:19100/metrics", timeout=2).read().decode())
PY
}
for _ in $(seq 200); do
    scrape && grep -q '^webfind_device_up{' "$WORK/scraped" && break
    sleep 0.1
done
grep -qxF 'webfind_device_up{address="127.0.0.61",name="Printer",url="http://127.0.0.61/"} 1' "$WORK/scraped" ||
    fail "node_exporter does not serve the device: $(cat "$WORK/scraped") $(cat "$WORK/exporter.log")"
grep -q '^node_textfile_scrape_error 0$' "$WORK/scraped" || fail "node_exporter had trouble: $(grep textfile "$WORK/scraped")"
grep -q '^webfind_rounds_total [1-9]' "$WORK/scraped" || fail "no rounds: $(grep webfind_ "$WORK/scraped")"
pass
