#!/bin/bash
# The announcer under a flood: 100,000 probes a second for 10 s from 1,000
# forged sources on its link. Prints the CPU seconds it spent, its peak
# resident memory, and how many answers it sent (counted where they arrive).
#
#   bench/announce.sh [SECONDS] [RATE]
#
# The announcer runs in a namespace of its own behind a veth pair, inside
# the benchmark's private network namespace; needs root (or user
# namespaces) and python3.
set -u
cd "$(dirname "$0")/.." || exit 1
# shellcheck source=bench/lib.sh
. bench/lib.sh
bench_in_private_netns "$0" "$@"
ANNOUNCER=${ANNOUNCER:-$PWD/build/webfind-announce}
seconds=${1:-10}
rate=${2:-100000}

WORK=$(mktemp -d)
trap 'kill "$announcer" "$counter" 2> /dev/null; rm -rf "$WORK"' EXIT
ip link add va1 type veth peer name vb1 || exit 1
ip addr add 10.1.0.1/20 dev va1
ip link set va1 up
ip route replace 224.0.0.0/4 dev va1
# The forged sources are this side's own addresses, so that their answers
# come back here to be counted.
for i in $(seq 0 999); do echo "addr add 10.1.$((1 + i / 256)).$((i % 256))/32 dev va1"; done | ip -batch - || exit 1

# shellcheck disable=SC2016  # expanded by the inner shell
unshare -n bash -c '
    for _ in $(seq 100); do ip link show vb1 > /dev/null 2>&1 && break; sleep 0.05; done
    ip addr add 10.1.0.2/20 dev vb1
    ip link set vb1 up
    ip link set lo up
    exec ${BENCH_WRAP:-} "$@"' announcer "$ANNOUNCER" --name Host > "$WORK/announcer.log" 2>&1 &
announcer=$!
wait_own_netns "$announcer"
ip link set vb1 netns "$announcer" || exit 1
for _ in $(seq 100); do grep -q '^webfind-announce: announcing' "$WORK/announcer.log" && break; sleep 0.05; done
grep -q '^webfind-announce: announcing' "$WORK/announcer.log" || { cat "$WORK/announcer.log" >&2; exit 1; }

python3 tests/e2e/prober.py count 40000 $((seconds + 2)) > "$WORK/count.log" &
counter=$!
started "$WORK/count.log" "the answer counter"
# CPU ticks before the flood, so that start-up is left out.
read -r -a before < "/proc/$announcer/stat"
python3 tests/e2e/prober.py flood 10.1.1.0 1000 $((seconds * rate)) 10.1.0.1 "$rate" > "$WORK/flood.log" &
wait $!
read -r -a after < "/proc/$announcer/stat"
# Probes the kernel dropped because the announcer's queue was full.
# shellcheck disable=SC2016  # awk's own fields
overflowed=$(nsenter -t "$announcer" -n awk '/^Udp:/ && ++n == 2 { print $6 }' /proc/net/snmp)
peak=$(awk '/^VmHWM/ { print $2 }' "/proc/$announcer/status")
wait "$counter"
kill -TERM "$announcer"
wait "$announcer"
status=$?
ticks=$(getconf CLK_TCK)
# Fields 14 and 15 of stat (from 0: 13, 14) are user and system time in ticks.
cpu=$(( (after[13] + after[14]) - (before[13] + before[14]) ))
read -r _ sent took < "$WORK/flood.log"
read -r _ answers _ most < <(tail -1 "$WORK/count.log")
echo "| probes sent | over | dropped by the kernel | announcer CPU | peak RSS | answers arrived | most to one source | exit |"
echo "|---:|---:|---:|---:|---:|---:|---:|---:|"
printf '| %s | %s s | %s | %s.%02d s | %s MiB | %s | %s | %s |\n' "$sent" "$took" "${overflowed:-?}" \
    $((cpu / ticks)) $((cpu % ticks * 100 / ticks)) $((peak / 1024)) "$answers" "$most" "$status"
echo
tail -1 "$WORK/announcer.log"
