#!/bin/bash
# Watch-mode and first-answer benchmarks, in a private network namespace.
#
#   bench/watch.sh [SECONDS] [DEVICES]     (default 60 s, 1000 devices)
#
# 1. DEVICES simulated devices answer every probe while webfind runs
#    --watch=1 --json --duration=SECONDS: every device must come up once and
#    none go down; prints the CPU time against the wall time, and the
#    resident memory after the first rounds and before the end. Then the
#    same with the watch's page and its metrics file written every round.
# 2. Time to the first result: one device answering at once; "webfind --first
#    -n" from start to exit against the plain "webfind -n", median of 20 each.
set -u
cd "$(dirname "$0")/.." || exit 1
SECONDS_TOTAL=${1:-60}
DEVICES=${2:-1000}
# shellcheck source=bench/lib.sh
. bench/lib.sh
bench_in_private_netns "$0" "$@"
WORK=$(mktemp -d)
PIDS=()
trap 'kill "${PIDS[@]}" 2> /dev/null; wait 2> /dev/null; rm -rf "$WORK"' EXIT

# start_devices LOG ARGS...: simulated devices, waited for until they listen.
start_devices() {
    local log=$1
    shift
    "$RESPONDER" "$@" > "$log" 2>&1 &
    PIDS+=("$!")
    started "$log" "the simulated devices"
}

rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2> /dev/null; }

# watch_run ARGS...: the watch over the devices with ARGS added.
watch_run() {
    start_devices "$WORK/crowd.log" --lifetime $((SECONDS_TOTAL + 15)) --count "$DEVICES" --from 127.0.1.1
    env XDG_RUNTIME_DIR="$WORK/runtime" /usr/bin/time -f '%U %S %M' -o "$WORK/time" \
        "$WEBFIND" --watch=1 --json --duration="$SECONDS_TOTAL" "$@" > "$WORK/events" 2> "$WORK/notes" &
    local timer=$! watcher first_rss last_rss status user sys peak ups distinct downs cpu share
    sleep 0.5
    watcher=$(pgrep -P "$timer" -x webfind)
    sleep 2.5
    first_rss=$(rss_kib "$watcher")
    sleep $((SECONDS_TOTAL - 5))
    last_rss=$(rss_kib "$watcher")
    wait "$timer"
    status=$?
    read -r user sys peak < "$WORK/time"
    ups=$(grep -c '"event":"up"' "$WORK/events")
    distinct=$(grep '"event":"up"' "$WORK/events" | grep -o '"address":"[0-9.]*"' | sort -u | wc -l)
    downs=$(grep -c '"event":"down"' "$WORK/events")
    cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
    share=$(awk -v c="$cpu" -v t="$SECONDS_TOTAL" 'BEGIN { printf "%.2f", 100 * c / t }')
    echo "exit status $status; up events $ups for $distinct devices (of $DEVICES); down events $downs"
    echo "CPU ${cpu} s over ${SECONDS_TOTAL} s: ${share}% of one core"
    echo "resident memory: ${first_rss} KiB after 3 s, ${last_rss} KiB after $((SECONDS_TOTAL - 2)) s, peak ${peak} KiB"
    kill "${PIDS[@]}" 2> /dev/null
    wait 2> /dev/null
    PIDS=()
}

mkdir -m 0700 "$WORK/runtime"
echo "== watch: $DEVICES devices, --watch=1 for $SECONDS_TOTAL s"
watch_run
echo
echo "== the same, with its page (written, not opened) and its metrics file written every round"
watch_run --page -n --metrics "$WORK/webfind.prom"
echo "page $(du -k "$WORK"/runtime/webfind/webfind-*.html | awk '{ print $1 }') KiB, metrics $(du -k "$WORK/webfind.prom" | awk '{ print $1 }') KiB, each written $(sed -n 's/^webfind_rounds_total //p' "$WORK/webfind.prom") times"

echo
echo "== time to the first result: one device answering at once, 20 runs each"
start_devices "$WORK/one.log" --lifetime 120 --from 127.0.0.9 --name "Printer"
# The median of microsecond figures, in milliseconds.
median() { sort -n | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.1f", m / 1000 }'; }
for mode in first plain; do
    : > "$WORK/$mode"
    for _ in $(seq 20); do
        start=$(date +%s%N)
        if [ "$mode" = first ]; then "$WEBFIND" --first -n > /dev/null; else "$WEBFIND" -n > /dev/null; fi
        end=$(date +%s%N)
        echo $(((end - start) / 1000)) >> "$WORK/$mode"
    done
done
echo "webfind --first -n: median $(median < "$WORK/first") ms, from start to exit"
echo "webfind -n:         median $(median < "$WORK/plain") ms"
