#!/bin/bash
# What --check costs:
#  - 1,000 devices whose pages answer after 50 ms: the time --check adds to
#    the run (target: within 1.5 s of the listing), side by side with
#    `xargs -P16 curl -m3` fetching the same 1,000 pages, and peak memory
#    (bound: 32 MiB);
#  - 1,000 devices whose pages take the connection and never answer: the
#    run ends at the check's 10 s, with peak memory;
#  - 1,000 devices whose pages are 10 MB each (of which at most 64 KiB is
#    read): peak memory against the 96 MiB bound.
#
#   bench/check.sh
#
# Everything happens in a private network namespace; needs root (or user
# namespaces), python3 and curl.
set -u
cd "$(dirname "$0")/.." || exit 1
# shellcheck source=bench/lib.sh
. bench/lib.sh
bench_in_private_netns "$0" "$@"

WORK=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2> /dev/null; rm -rf "$WORK"' EXIT

# serve MODE PORT: one web server for every device's address.
serve() {
    python3 tests/e2e/webserver.py 0.0.0.0 "$2" "$1" > "$WORK/$1.out" 2>&1 &
    pids+=("$!")
    started "$WORK/$1.out" "the $1 web server"
}
# devices COUNT FIRST PORT: COUNT devices from FIRST on, each with its page.
devices() {
    "$RESPONDER" --lifetime 300 --count "$1" --from "$2" --url "http://{addr}:$3/" > "$WORK/devices-$2.log" 2>&1 &
    pids+=("$!")
    started "$WORK/devices-$2.log" "the devices"
}
# measure COMMAND...: sets MS (wall time) and PEAK (MiB) of one run.
measure() {
    local start end
    start=$(date +%s%N)
    /usr/bin/time -f %M -o "$WORK/peak" "$@" > "$WORK/out" 2> "$WORK/err"
    end=$(date +%s%N)
    MS=$(((end - start) / 1000000))
    PEAK=$(($(tail -1 "$WORK/peak") / 1024))
}
stop_all() {
    kill "${pids[@]}" 2> /dev/null
    wait 2> /dev/null
    pids=()
}

serve slow 8080
devices 1000 127.2.0.1 8080
measure "$WEBFIND" -n --json
plain=$MS
measure "$WEBFIND" -n --json --check
checked=$MS
read_pages=$(grep -c '"status":200' "$WORK/out")
echo "1,000 devices, pages after 50 ms:"
echo "  webfind -n --json takes ${plain} ms, with --check ${checked} ms: --check adds $((checked - plain)) ms" \
    "(target: under 1500 ms); $read_pages of 1000 pages read; peak RSS ${PEAK} MiB (bound: 32 MiB)"
# The same pages with curl, 16 at a time, as a script would.
for i in $(seq 0 999); do
    echo "http://127.2.$(((i + 1) / 256)).$(((i + 1) % 256)):8080/"
done > "$WORK/urls"
start=$(date +%s%N)
xargs -P16 -n1 curl -s -m3 -o /dev/null -w '%{http_code}\n' < "$WORK/urls" > "$WORK/curl.out"
curl_ms=$((($(date +%s%N) - start) / 1000000))
added=$((checked - plain > 0 ? checked - plain : 1))
echo "  xargs -P16 curl -m3 on the same pages: ${curl_ms} ms, $(grep -c '^200$' "$WORK/curl.out") of 1000 read;" \
    "--check is $(awk -v a="$curl_ms" -v b="$added" 'BEGIN { printf "%.1f", a / b }') times as fast (target: 2)"

stop_all
serve hang 8082
devices 1000 127.4.0.1 8082
measure "$WEBFIND" -n --json --check
echo "1,000 devices, pages that never answer: the run takes ${MS} ms (bound: the check's 10 s and the collection)," \
    "peak RSS ${PEAK} MiB; $(grep -c '"result":"unreachable"' "$WORK/out") timed out," \
    "$(grep -c '"result":"not checked"' "$WORK/out") not checked"

stop_all
serve huge 8081
devices 1000 127.3.0.1 8081
measure "$WEBFIND" -n --json --check
echo "1,000 devices, 10 MB pages: peak RSS ${PEAK} MiB (bound: 96 MiB), the run ${MS} ms," \
    "$(grep -c '"status":200' "$WORK/out") of 1000 pages read"
