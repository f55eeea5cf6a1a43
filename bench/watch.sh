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
# 2. A device that goes, under the watch's rule and under the old one (a
#    round of three probes, down after two rounds missed; built from git,
#    or OLD_WEBFIND): 1,000 devices that stay and 5 that die one by one,
#    --watch=1 for a minute; how long after its death each is called down,
#    and the CPU seconds of the watch and of the devices (their answers).
# 3. Time to the first result: one device answering at once; "webfind --first
#    -n" from start to exit against the plain "webfind -n", median of 20 each.
set -u
cd "$(dirname "$0")/.." || exit 1
SECONDS_TOTAL=${1:-60}
DEVICES=${2:-1000}
# shellcheck source=bench/lib.sh
. bench/lib.sh
bench_in_private_netns "$0" "$@"
bench_workspace

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

# The old rule: the watch as it was before one probe a round and retries.
OLD_RULE_COMMIT=94dfd6d
old_webfind() {
    if [ -n "${OLD_WEBFIND:-}" ]; then
        echo "$OLD_WEBFIND"
        return
    fi
    local old=$PWD/build-old-rule
    if [ ! -x "$old/webfind" ]; then
        mkdir -p "$WORK/old-src"
        if ! { git archive "$OLD_RULE_COMMIT" | tar -x -C "$WORK/old-src" &&
            cmake -S "$WORK/old-src" -B "$old" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWEBFIND_TESTS=OFF &&
            cmake --build "$old" --target webfind -j 2; } > "$WORK/old-build.log" 2>&1; then
            tail -20 "$WORK/old-build.log" >&2
            return 1
        fi
    fi
    echo "$old/webfind"
}

# rule_run LABEL WEBFIND DEATHS: a minute of --watch=1 over 1,000 devices
# that stay and 5 of which DEATHS (5 or 0) die one by one; one row of the
# table.
rule_run() {
    local label=$1 program=$2 deaths=$3 crowd watcher n died down sum=0 most=0 count=0 falls
    start_devices "$WORK/crowd.log" --lifetime 90 --count 1000 --from 127.0.1.1
    crowd=${PIDS[-1]}
    for n in 1 2 3 4 5; do start_devices "$WORK/dies$n.log" --lifetime 90 --from "127.0.9.$n" --name "Dies $n"; done
    : > "$WORK/deaths"
    "$program" --watch=1 --json --duration=60 > >(while IFS= read -r line; do echo "$(date +%s%3N) $line"; done > "$WORK/stamped") 2> /dev/null &
    watcher=$!
    sleep 5
    local crowd_before watch_before
    crowd_before=$(cpu_seconds "$crowd")
    watch_before=$(cpu_seconds "$watcher")
    for n in 1 2 3 4 5; do
        sleep "8.$((n * 19 % 10))"
        [ "$n" -le "$deaths" ] || continue
        kill "${PIDS[-6 + n]}"
        echo "$(date +%s%3N) $n" >> "$WORK/deaths"
    done
    sleep $((58 - 5 - 44))
    local crowd_cpu watch_cpu
    crowd_cpu=$(awk -v a="$crowd_before" -v b="$(cpu_seconds "$crowd")" 'BEGIN { printf "%.2f", b - a }')
    watch_cpu=$(awk -v a="$watch_before" -v b="$(cpu_seconds "$watcher")" 'BEGIN { printf "%.2f", b - a }')
    wait "$watcher"
    sleep 0.2
    while read -r died n; do
        down=$(grep '"event":"down"' "$WORK/stamped" | grep -m 1 "\"address\":\"127\.0\.9\.$n\"" | cut -d' ' -f1)
        [ -n "$down" ] || continue
        sum=$((sum + down - died))
        count=$((count + 1))
        [ $((down - died)) -gt "$most" ] && most=$((down - died))
    done < "$WORK/deaths"
    falls=$(grep '"event":"down"' "$WORK/stamped" | grep -vc '"address":"127\.0\.9\.')
    printf '| %s | %s of %s, mean %s ms, at most %s ms | %s s | %s s | %s |\n' "$label" "$count" "$deaths" \
        "$((count ? sum / count : 0))" "$most" "$watch_cpu" "$crowd_cpu" "$falls"
    kill "${PIDS[@]}" 2> /dev/null
    wait 2> /dev/null
    PIDS=()
}

echo
echo "== a device that goes: the watch's rule and the old one, 1,000 devices, --watch=1, the CPU of 53 s"
if old=$(old_webfind); then
    echo "| rule | called down after its death | the watch's CPU | the devices' CPU | false downs |"
    echo "|---|---|---:|---:|---:|"
    rule_run "one probe a round, retries for the missing" "$WEBFIND" 5
    rule_run "old: three probes a round, down after two rounds missed" "$old" 5
    rule_run "one probe a round, no device dies" "$WEBFIND" 0
    rule_run "old, no device dies" "$old" 0
else
    echo "the old rule could not be built from $OLD_RULE_COMMIT; set OLD_WEBFIND to a build of it"
fi

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
