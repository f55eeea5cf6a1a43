#!/bin/bash
# What --check adds to a run: 100 devices whose pages answer after 50 ms
# (the time from the end of the listing's collection to the end of the run,
# against the 1 s target), and the peak memory over 1,000 devices whose
# pages are 10 MB each (of which at most 64 KiB is read), against the
# 96 MiB bound.
#
#   bench/check.sh
#
# Everything happens in a private network namespace; needs root (or user
# namespaces) and python3.
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
    "$RESPONDER" --lifetime 120 --count "$1" --from "$2" --url "http://{addr}:$3/" > "$WORK/devices-$2.log" 2>&1 &
    pids+=("$!")
    started "$WORK/devices-$2.log" "the devices"
}
# seconds COMMAND...: the run's wall time, to the millisecond.
seconds() {
    local start end
    start=$(date +%s%N)
    "$@" > "$WORK/out" 2> "$WORK/err"
    end=$(date +%s%N)
    echo "$(((end - start) / 1000000))"
}

serve slow 8080
devices 100 127.2.0.1 8080
plain=$(seconds "$WEBFIND" -n --json)
checked=$(seconds "$WEBFIND" -n --json --check)
fetched=$(grep -c '"status":200' "$WORK/out")
echo "100 devices, pages after 50 ms: the run takes ${plain} ms, with --check ${checked} ms;"
echo "  --check adds $((checked - plain)) ms (target: under 1000 ms); $fetched of 100 pages read"

kill "${pids[@]}" 2> /dev/null
wait 2> /dev/null
pids=()
serve huge 8081
devices 1000 127.3.0.1 8081
/usr/bin/time -f %M -o "$WORK/peak" "$WEBFIND" -n --json --check > "$WORK/out" 2> "$WORK/err"
status=$?
fetched=$(grep -c '"status":200' "$WORK/out")
echo "1,000 devices, 10 MB pages: peak RSS $(($(tail -1 "$WORK/peak") / 1024)) MiB (bound: 96 MiB), exit status $status, $fetched of 1000 pages read"
