#!/bin/bash
# The announcer under each flood an attacker on its link can send, at each
# rate: does a real finder still find it? Per flood and rate it prints how
# many of 20 `webfind -n` runs found it (each one a finder the announcer has
# not met: its neighbour entry is deleted first), the downs a
# `webfind --watch=1` of it reported meanwhile (every one false), the
# answers and bytes a second that reached one forged victim, the bytes the
# announcer sent per byte of probes, the most neighbour entries the
# announcer's namespace held, its CPU seconds and its peak memory. Then an
# idle minute.
#
#   bench/announce.sh [SECONDS] [RATE...]    (default: 60 s, 300 1000 10000 100000)
#
# ONLY=TEXT runs the floods whose name holds TEXT, IDLE=only the idle
# minute alone; KEEP=FOLDER keeps each cell's watch output there.
#
# Everything runs in the benchmark's private network namespace (the forger
# and the finder) and one more for the announcer, joined by a veth pair on
# 10.0.0.0/8. The machine's neighbour table, which every namespace shares,
# is kept safe: the forged addresses that resolve are given to the
# announcer's namespace as permanent entries (which the kernel does not
# count against its limits), answers to ever-new forged sources are dropped
# at the announcer's output, and only the 150 absent addresses are looked
# up for real: at most 150 entries, which fail and are let go.
set -u
cd "$(dirname "$0")/.." || exit 1
# shellcheck source=bench/lib.sh
. bench/lib.sh
bench_in_private_netns "$0" "$@"
ANNOUNCER=${ANNOUNCER:-$PWD/build/webfind-announce}
PROBER=tests/e2e/prober.py
seconds=${1:-60}
shift
rates=("$@")
[ "${#rates[@]}" -gt 0 ] || rates=(300 1000 10000 100000)
command -v python3 > /dev/null || { echo "needs python3" >&2; exit 1; }
command -v nft > /dev/null || { echo "needs nft (nftables)" >&2; exit 1; }
bench_workspace

# The announcer's host: a namespace kept by a process that sleeps.
unshare -n sleep 100000 &
holder=$!
PIDS+=("$holder")
wait_own_netns "$holder" || exit 1
there() { nsenter -t "$holder" -n "$@"; }
ip link add va1 type veth peer name vb1 || exit 1
ip link set vb1 netns "$holder"
ip addr add 10.0.0.1/8 dev va1
ip link set va1 up
ip route replace 224.0.0.0/4 dev va1
# Answers to the resolvable forged addresses arrive here, as to this host.
ip route add local 10.1.0.0/16 dev lo
there ip link set lo up
there ip addr add 10.0.0.2/8 dev vb1
there ip link set vb1 up
mac=$(ip -o link show va1 | sed -n "s/.*link\/ether \([0-9a-f:]*\).*/\1/p")
for i in $(seq 0 65535); do echo "neigh replace 10.1.$((i / 256)).$((i % 256)) lladdr $mac nud permanent dev vb1"; done |
    there ip -batch - || exit 1
there nft -f - << 'EOF' || exit 1
table inet bench {
    chain output {
        type filter hook output priority 0;
        ip daddr 10.4.0.0/14 drop
    }
}
EOF
# Answers that reach this side, and those to one victim address.
nft -f - << 'EOF' || exit 1
table inet bench {
    chain input {
        type filter hook input priority 0;
        iifname "va1" udp sport 3576 counter
    }
}
EOF

# name FIRST COUNT PORTS VICTIM: the floods. Sources: 150 absent on-link
# addresses; 1,000 and 65,536 that resolve; 200,000 addresses, each probe
# from a port never used before (ever-new sources); and the finder's own
# address from other ports.
floods=(
    "150 absent addresses|10.2.0.0 150 fixed 10.2.0.0"
    "1,000 resolvable|10.1.0.0 1000 fixed 10.1.0.0"
    "65,536 resolvable|10.1.0.0 65536 fixed 10.1.0.0"
    "200,000 ever-new|10.4.0.0 200000 cycle 10.4.0.0"
    "the finder's address, other ports|10.0.0.1 1 each 10.0.0.1"
)

neighbours() { there ip -4 neigh show dev vb1 | grep -vc PERMANENT; }
victim_counter() {
    nft -a list chain inet bench input | awk -v v="$1" '$0 ~ "ip daddr " v " " { for (i = 1; i < NF; ++i) if ($i == "packets") print $(i + 1), $(i + 3) }'
}

# cell NAME FIRST COUNT PORTS VICTIM RATE: one flood at one rate.
cell() {
    local name=$1 first=$2 count=$3 ports=$4 victim=$5 rate=$6
    # What the last cell looked up is forgotten; the permanent entries stay.
    there ip neigh flush dev vb1 2> /dev/null
    nft add rule inet bench input iifname va1 ip daddr "$victim" udp sport 3576 counter
    # nsenter itself, not a shell around it: $! is then the announcer.
    nsenter -t "$holder" -n "$ANNOUNCER" --name Host > "$WORK/announcer.log" 2>&1 &
    local announcer=$!
    for _ in $(seq 100); do grep -q 'announcing "Host" on vb1' "$WORK/announcer.log" && break; sleep 0.05; done
    local before
    read -r -a before < "/proc/$announcer/stat"
    python3 "$PROBER" flood "$first" "$count" $((seconds * rate)) 10.0.0.1 "$rate" "$ports" > "$WORK/flood.log" &
    local flood=$!
    env -u DISPLAY -u WAYLAND_DISPLAY "$WEBFIND" --watch=1 -i va1 --json > "$WORK/watch.log" 2> /dev/null &
    local watch=$!
    sleep 2
    local found=0 most=0 n pause
    # The runs spread over the flood, its first 2 s and last 4 s aside.
    pause=$(awk -v s="$seconds" 'BEGIN { p = (s - 6) / 20 - 0.5; print (p > 0 ? p : 0) }')
    for _ in $(seq 20); do
        there ip neigh del 10.0.0.1 dev vb1 2> /dev/null
        "$WEBFIND" -n -i va1 2> /dev/null | grep -q '^Name:Host ' && found=$((found + 1))
        n=$(neighbours)
        [ "$n" -gt "$most" ] && most=$n
        sleep "$pause"
    done
    wait "$flood"
    kill -INT "$watch"
    wait "$watch"
    local after
    read -r -a after < "/proc/$announcer/stat"
    local peak
    peak=$(awk '/^VmHWM/ { print $2 }' "/proc/$announcer/status")
    kill -TERM "$announcer"
    wait "$announcer"
    local sent took answers bytes victims victimBytes downs ups cpu
    read -r _ sent took < "$WORK/flood.log"
    read -r answers bytes < <(sed -n 's/.*stopped; answered \([0-9]*\) (\([0-9]*\) bytes).*/\1 \2/p' "$WORK/announcer.log")
    read -r victims victimBytes < <(victim_counter "$victim")
    nft flush chain inet bench input
    nft add rule inet bench input iifname va1 udp sport 3576 counter
    [ -z "${KEEP:-}" ] || cp "$WORK/watch.log" "$KEEP/watch-$first-$rate.log"
    downs=$(grep -c '"event":"down"' "$WORK/watch.log")
    ups=$(grep -c '"event":"up"' "$WORK/watch.log")
    cpu=$(((after[13] + after[14]) - (before[13] + before[14])))
    printf '| %s | %s | %s/20 | %s (%s up) | %s / %s B | %s | %s | %s | %s MiB |\n' "$name" "$rate" "$found" "$downs" "$ups" \
        "$(awk -v n="${victims:-0}" -v t="$took" 'BEGIN { printf "%.1f", n / t }')" \
        "$(awk -v n="${victimBytes:-0}" -v t="$took" 'BEGIN { printf "%.0f", n / t }')" \
        "$(awk -v a="${answers:-0}" -v b="${bytes:-0}" -v s="$sent" 'BEGIN { printf "%.4f", (b + 28 * a) / (40 * s) }')" \
        "$most" "$(awk -v t="$cpu" -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.2f s", t / hz }')" $((peak / 1024))
    echo "  $(tail -1 "$WORK/announcer.log" | cut -c1-400)" >> "$WORK/summaries"
}

echo "Each flood for $seconds s; the watch runs meanwhile; 20 finder runs spread over it."
echo
echo "| flood | probes/s | found | watch downs | to one victim /s | bytes out per byte in | neighbour entries | CPU | peak RSS |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|"
for entry in "${floods[@]}"; do
    name=${entry%%|*}
    # ONLY=TEXT: the floods whose name holds TEXT alone (IDLE=only: none).
    [[ "$name" == *"${ONLY:-}"* ]] && [ "${IDLE:-}" != only ] || continue
    read -r first count ports victim <<< "${entry#*|}"
    for rate in "${rates[@]}"; do cell "$name" "$first" "$count" "$ports" "$victim" "$rate"; done
done
echo
echo "The announcer's own counts, cell by cell:"
cat "$WORK/summaries"

# An idle minute: CPU time and wake-ups (voluntary context switches).
nsenter -t "$holder" -n "$ANNOUNCER" --name Host > "$WORK/announcer.log" 2>&1 &
announcer=$!
# Its start (the self-check) done.
sleep 5
read -r -a before < "/proc/$announcer/stat"
woke=$(awk '/^voluntary_ctxt_switches/ { print $2 }' "/proc/$announcer/status")
sleep 60
read -r -a after < "/proc/$announcer/stat"
woke=$(($(awk '/^voluntary_ctxt_switches/ { print $2 }' "/proc/$announcer/status") - woke))
kill -TERM "$announcer"
wait "$announcer"
echo
echo "Idle for a minute: $(awk -v t=$(((after[13] + after[14]) - (before[13] + before[14]))) -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.3f", t / hz }') CPU-s, $woke wake-ups."
