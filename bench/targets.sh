#!/bin/bash
# Targets beyond a router: webfind --target probes a /24 (254 addresses) and
# a /20 (4,094), every address a simulated device, two hops away through a
# namespace that forwards. Prints, per range, the time to the complete list
# at the default rate (median and min-max of RUNS), the devices found and the
# bytes the finder sent.
#
#   bench/targets.sh [RUNS]      (default 3)
set -u
cd "$(dirname "$0")/.." || exit 1
RUNS=${1:-3}
# shellcheck source=bench/lib.sh
. bench/lib.sh
bench_in_private_netns "$0" "$@"
bench_workspace

# This namespace routes: the finder at 10.1.0.2 behind va1, every address of
# 10.2.0.0/20 local to the devices' namespace behind va2.
sysctl -qw net.ipv4.ip_forward=1
# in_namespace N ADDRESS COMMAND...: COMMAND in a namespace of its own behind
# vaN, with ADDRESS/24 and this one as its router; its pid in HOST_PID.
in_namespace() {
    local n=$1 address=$2
    shift 2
    ip link add "va$n" type veth peer name "vb$n"
    # shellcheck disable=SC2016  # expanded by the inner shell
    unshare -n bash -c '
        n=$1 address=$2
        shift 2
        for _ in $(seq 100); do ip link show "vb$n" > /dev/null 2>&1 && break; sleep 0.05; done
        ip link set lo up
        ip addr add "$address/24" dev "vb$n"
        ip link set "vb$n" up
        ip route add default via "${address%.*}.1"
        exec "$@"' host "$n" "$address" "$@" &
    HOST_PID=$!
    PIDS+=("$HOST_PID")
    wait_own_netns "$HOST_PID"
    ip link set "vb$n" netns "$HOST_PID"
    ip addr add "${address%.*}.1/24" dev "va$n"
    ip link set "va$n" up
}
in_namespace 1 10.1.0.2 sleep 600
FINDER=$HOST_PID
# shellcheck disable=SC2016  # expanded by the inner shell
in_namespace 2 10.9.0.2 sh -c 'ip route add local 10.2.0.0/20 dev lo; exec "$0" "$@"' \
    "$RESPONDER" --lifetime 600 --unicast --from 10.2.0.1 --count 4094 --name 'Device {addr}' > "$WORK/devices.log" 2>&1
ip route add 10.2.0.0/20 via 10.9.0.2
started "$WORK/devices.log" "the simulated devices"

# /sys shows the namespace that mounted it, not the finder's: ip asks its own.
tx_bytes() { nsenter -t "$FINDER" -n ip -s link show vb1 | awk '/TX:/ { getline; print $1 }'; }
stats() { sort -n | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2); printf "%s (%s-%s)", m, v[1], v[NR] }'; }

echo "| range | targets | time to the complete list, ms | found | bytes sent by the finder |"
echo "|---|---|---|---|---|"
for range in 10.2.0.0/24 10.2.0.0/20; do
    : > "$WORK/runs"
    for _ in $(seq "$RUNS"); do
        before=$(tx_bytes)
        start=$(date +%s%N)
        nsenter -t "$FINDER" -n "$WEBFIND" -n --target "$range" > "$WORK/out" 2> "$WORK/err"
        end=$(date +%s%N)
        echo "$(( (end - start) / 1000000 )) $(grep -c '^Name:' "$WORK/out") $(($(tx_bytes) - before))" >> "$WORK/runs"
    done
    case $range in */24) targets=254 ;; */20) targets=4094 ;; esac
    printf '| %s | %s | %s | %s | %s |\n' "$range" "$targets" "$(cut -d' ' -f1 "$WORK/runs" | stats)" \
        "$(cut -d' ' -f2 "$WORK/runs" | stats)" "$(cut -d' ' -f3 "$WORK/runs" | stats)"
done
