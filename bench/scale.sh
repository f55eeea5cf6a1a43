#!/bin/bash
# Scale benchmark: N simulated devices answer every probe at once, and we see
# how many webfind finds, what the kernel dropped, and what it cost.
#
#   bench/scale.sh [RUNS]        (default 5 runs per point)
#
# Everything happens in a private network namespace; needs root (or user
# namespaces). Prints one table row per point: median and min-max.
set -u
cd "$(dirname "$0")/.." || exit 1
RUNS=${1:-5}
# shellcheck source=bench/lib.sh
. bench/lib.sh
bench_in_private_netns "$0" "$@"

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

rcvbuf_errors() { awk '/^Udp:/ { if (!h) { for (i = 1; i <= NF; i++) if ($i == "RcvbufErrors") c = i; h = 1 } else print $c }' /proc/net/snmp; }

# one_run N DELAY_MS PIN: prints "found drops wall_ms cpu_ms peak_kib"
one_run() {
    local n=$1 delay=$2 pin=$3 pinning=() before after
    [ "$pin" = one ] && pinning=(taskset -c 0)
    if [ "$n" -gt 0 ]; then
        "${pinning[@]}" "$RESPONDER" --lifetime 30 --count "$n" --from 127.0.1.1 --delay "$delay" > "$WORK/responder.log" 2>&1 &
        local rpid=$!
        started "$WORK/responder.log" "the simulated devices"
    fi
    before=$(rcvbuf_errors)
    local start end
    start=$(date +%s%N)
    "${pinning[@]}" /usr/bin/time -f '%U %S %M' -o "$WORK/time" "$WEBFIND" --no-open > "$WORK/out" 2> "$WORK/err"
    end=$(date +%s%N)
    after=$(rcvbuf_errors)
    [ "$n" -gt 0 ] && { kill "$rpid" 2>/dev/null; wait "$rpid" 2>/dev/null; }
    read -r user sys peak < "$WORK/time"
    local found wall cpu
    found=$(grep -c '^Name:' "$WORK/out")
    wall=$(( (end - start) / 1000000 ))
    cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%d", (u + s) * 1000 + 0.5 }')
    echo "$found $((after - before)) $wall $cpu $peak"
}

# stats: median and min-max of one column of numbers on stdin
stats() { sort -n | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2); printf "%s (%s-%s)", m, v[1], v[NR] }'; }

point() {
    local n=$1 delay=$2 pin=$3 floor=$((400 + $2))
    : > "$WORK/runs"
    for _ in $(seq "$RUNS"); do one_run "$n" "$delay" "$pin" >> "$WORK/runs"; done
    local found drops wall cpu peak
    found=$(cut -d' ' -f1 "$WORK/runs" | stats)
    drops=$(cut -d' ' -f2 "$WORK/runs" | stats)
    wall=$(cut -d' ' -f3 "$WORK/runs" | stats)
    cpu=$(cut -d' ' -f4 "$WORK/runs" | stats)
    peak=$(cut -d' ' -f5 "$WORK/runs" | stats)
    printf '| %6s | %-8s | %-5s | %-22s | %-14s | %-17s | %-14s | %-20s | %5s |\n' \
        "$n" "0-$delay" "$pin" "$found / $n" "$drops" "$wall" "$cpu" "$peak" "$floor"
}

echo "webfind scale benchmark: $RUNS runs per point, median (min-max)"
echo
printf '| %6s | %-8s | %-5s | %-22s | %-14s | %-17s | %-14s | %-20s | %5s |\n' \
    devices "delay ms" cores "found" "kernel drops" "wall ms" "CPU ms" "peak KiB" "floor"
echo "|-------:|----------|-------|------------------------|----------------|-------------------|----------------|----------------------|------:|"
point 0 0 two
point 1000 0 one
point 10000 0 one
point 10000 20 two
point 10000 0 two
