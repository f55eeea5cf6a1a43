#!/bin/bash
# A long watch: --watch=1 with its page and metrics file for SECONDS (10
# minutes unless said) over 1,000 simulated devices, of which 100 flap (5 s
# there, 5 s gone, over and over). Prints the watch's resident memory after
# its first minute and at the end, its CPU seconds, and its events.
#
#   bench/soak.sh [SECONDS]
#
# In a private network namespace; needs root (or user namespaces).
set -u
cd "$(dirname "$0")/.." || exit 1
SECONDS_TOTAL=${1:-600}
# shellcheck source=bench/lib.sh
. bench/lib.sh
bench_in_private_netns "$0" "$@"
bench_workspace
mkdir -m 0700 "$WORK/runtime"

start_devices "$WORK/steady.log" --lifetime $((SECONDS_TOTAL + 30)) --count 900 --from 127.0.1.1
# The flapping hundred, in a loop of their own.
(
    end=$((SECONDS + SECONDS_TOTAL + 10))
    while [ "$SECONDS" -lt "$end" ]; do
        "$RESPONDER" --lifetime 5 --count 100 --from 127.0.5.1 > /dev/null 2>&1
        sleep 5
    done
) &
PIDS+=("$!")

env XDG_RUNTIME_DIR="$WORK/runtime" "$WEBFIND" --watch=1 --json --duration="$SECONDS_TOTAL" --page -n \
    --metrics "$WORK/webfind.prom" > "$WORK/events" 2> "$WORK/notes" &
watcher=$!
sleep 60
first_rss=$(rss_kib "$watcher")
first_cpu=$(cpu_seconds "$watcher")
sleep $((SECONDS_TOTAL - 62))
last_rss=$(rss_kib "$watcher")
last_cpu=$(cpu_seconds "$watcher")
wait "$watcher"
status=$?
echo "== soak: --watch=1 --page --metrics for $SECONDS_TOTAL s, 900 steady devices and 100 flapping"
echo "exit status $status; events: $(grep -c '"event":"up"' "$WORK/events") up, $(grep -c '"event":"down"' "$WORK/events") down, $(grep -c '"event":"changed"' "$WORK/events") changed"
echo "down events of steady devices (must be 0): $(grep '"event":"down"' "$WORK/events" | grep -vc '"address":"127\.0\.5\.')"
echo "resident memory: $first_rss KiB after 1 min, $last_rss KiB after $((SECONDS_TOTAL - 2)) s"
echo "CPU: $first_cpu s in the first minute, $last_cpu s in all (about $(awk -v a="$first_cpu" -v b="$last_cpu" -v s=$((SECONDS_TOTAL - 62)) 'BEGIN { printf "%.2f", s > 0 ? (b - a) * 60 / s : 0 }') s a minute after it)"
echo "page $(du -k "$WORK"/runtime/webfind/webfind-*.html | awk '{ print $1 }') KiB, metrics $(du -k "$WORK/webfind.prom" | awk '{ print $1 }') KiB"
