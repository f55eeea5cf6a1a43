#!/bin/bash
# The first line: how long after it starts does each finder show its first
# device? webfind --first -n (the simulated device answering) against
# gssdp-discover (Debian's gupnp-tools; a small SSDP device of our own that
# answers at once), on one link to a device host, with the devices in this
# host's neighbour table (as after they talked to it once) and not, for 1
# and 100 devices. Runs interleave; each cell prints the median and range in
# milliseconds and how many times faster webfind is.
#
#   bench/first.sh [RUNS]        (default 15)
#
# Everything runs in the benchmark's private network namespace and one more
# for the devices, joined by a veth pair on 10.0.0.0/24: at most 100
# neighbour entries on this side, and the device side's one for this host,
# permanent.
set -u
cd "$(dirname "$0")/.." || exit 1
RUNS=${1:-15}
# shellcheck source=bench/lib.sh
. bench/lib.sh
bench_in_private_netns "$0" "$@"
command -v gssdp-discover > /dev/null || { echo "needs gssdp-discover (apt-get install gupnp-tools)" >&2; exit 1; }
command -v python3 > /dev/null || { echo "needs python3" >&2; exit 1; }
bench_workspace

unshare -n sleep 100000 &
holder=$!
PIDS+=("$holder")
wait_own_netns "$holder" || exit 1
there() { nsenter -t "$holder" -n "$@"; }
ip link add va1 type veth peer name vb1 || exit 1
ip link set vb1 netns "$holder"
ip addr add 10.0.0.1/24 dev va1
ip link set va1 up
ip route replace 224.0.0.0/4 dev va1
there ip link set lo up
for i in $(seq 2 101); do there ip addr add "10.0.0.$i/24" dev vb1; done
there ip link set vb1 up
there ip route replace 224.0.0.0/4 dev vb1
mac=$(ip -o link show va1 | sed -n "s/.*link\/ether \([0-9a-f:]*\).*/\1/p")
theirs=$(there ip -o link show vb1 | sed -n "s/.*link\/ether \([0-9a-f:]*\).*/\1/p")
there ip neigh replace 10.0.0.1 lladdr "$mac" nud permanent dev vb1
for _ in $(seq 100); do ip -o link show va1 | grep -q LOWER_UP && break; sleep 0.05; done

# devices N: both kinds of device, N of each, on the device host.
devices() {
    kill "${PIDS[@]:1}" 2> /dev/null
    PIDS=("$holder")
    there "$RESPONDER" --lifetime 600 --count "$1" --from 10.0.0.2 --interface 10.0.0.2 > "$WORK/responder.log" 2>&1 &
    PIDS+=("$!")
    started "$WORK/responder.log" "the simulated devices"
    there python3 bench/ssdp_device.py 10.0.0.2 "$1" 600 > "$WORK/ssdp.log" 2>&1 &
    PIDS+=("$!")
    started "$WORK/ssdp.log" "the SSDP devices"
}

# neighbours N in|out: this host's neighbour entries for the N devices.
neighbours() {
    ip neigh flush dev va1 2> /dev/null
    [ "$2" = in ] || return 0
    for i in $(seq 2 $(($1 + 1))); do echo "neigh replace 10.0.0.$i lladdr $theirs nud reachable dev va1"; done | ip -batch -
}

stats() { sort -n | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.1f (%.1f-%.1f)", m, v[1], v[NR] }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "First line after start, ms: median (range) of $RUNS interleaved runs"
echo
printf '| %-7s | %-19s | %-22s | %-22s | %-7s |\n' devices "neighbour entries" "webfind --first -n" "gssdp-discover" ahead
echo "|--------:|---------------------|------------------------|------------------------|--------:|"
for n in 1 100; do
    devices "$n"
    for state in in out; do
        : > "$WORK/webfind"
        : > "$WORK/gssdp"
        for _ in $(seq "$RUNS"); do
            neighbours "$n" "$state"
            python3 bench/first_line.py "$WEBFIND" --first -n >> "$WORK/webfind"
            neighbours "$n" "$state"
            python3 bench/first_line.py gssdp-discover -i va1 -t upnp:rootdevice -n 5 >> "$WORK/gssdp"
        done
        ratio=$(awk -v w="$(grep -v - "$WORK/webfind" | median)" -v g="$(grep -v - "$WORK/gssdp" | median)" \
            'BEGIN { printf "%.1fx", g / w }')
        printf '| %7s | %-19s | %-22s | %-22s | %7s |\n' "$n" "$state" \
            "$(grep -v - "$WORK/webfind" | stats) $(grep -c - "$WORK/webfind" | sed 's/^0$//; s/.\+/&x none/')" \
            "$(grep -v - "$WORK/gssdp" | stats)" "$ratio"
    done
done
