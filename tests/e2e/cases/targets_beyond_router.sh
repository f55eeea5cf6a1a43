#!/bin/bash
# Targets beyond a router: this namespace forwards between the finder's
# subnet (10.1.0.0/24) and the devices' (10.2.0.0/24, a bridge). webfind
# --target 10.2.0.0/24 lists an announcer that admits unicast probes from
# the finder's subnet and a simulated device, and sends no multicast probe
# (the router and a host where nothing listens say so: port unreachable);
# an announcer without --unicast-from stays silent, and -v says so, apart
# from a host where nothing listens; a watch
# over the targets sees a device die within its round.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "the finder runs in a namespace of its own, which Wine's server is not in"
: "${ANNOUNCER:?set ANNOUNCER to the webfind-announce binary}"
network_up no-route
sysctl -qw net.ipv4.ip_forward=1 || skip "cannot forward in this namespace"
ip link add br2 type bridge || skip "no bridges here"
ip addr add 10.2.0.1/24 dev br2
ip link set br2 up

# host NAME LINK ADDRESS COMMAND...: a host in a namespace of its own behind
# vaLINK, with ADDRESS/24 and this namespace as its router; its log in
# $WORK/NAME.log, its process id in HOST_PID.
host() {
    local name=$1 n=$2 address=$3
    shift 3
    ip link add "va$n" type veth peer name "vb$n" || fail "cannot make the link va$n"
    # shellcheck disable=SC2016  # expanded by the inner shell
    unshare -n bash -c '
        n=$1 address=$2 router=$3
        shift 3
        for _ in $(seq 100); do ip link show "vb$n" > /dev/null 2>&1 && break; sleep 0.05; done
        ip link set lo up
        ip addr add "$address/24" dev "vb$n"
        ip link set "vb$n" up
        ip route add default via "$router"
        exec "$@"' host "$n" "$address" "${address%.*}.1" "$@" > "$WORK/$name.log" 2>&1 &
    HOST_PID=$!
    PIDS+=("$HOST_PID")
    wait_own_netns "$HOST_PID"
    ip link set "vb$n" netns "$HOST_PID" || fail "cannot move vb$n into the namespace of $name"
    ip link set "va$n" up
}

host finder 1 10.1.0.2 sleep 60
ip addr add 10.1.0.1/24 dev va1
FINDER=$HOST_PID
host announcer 2 10.2.0.2 "$ANNOUNCER" -v --name "Lab NAS" --unicast-from 10.1.0.0/24
ip link set va2 master br2
host device 3 10.2.0.3 "$RESPONDER" --lifetime 30 --name "Camera" --from 10.2.0.3
ip link set va3 master br2
host closed 4 10.2.0.4 "$ANNOUNCER" --name "Closed"
ip link set va4 master br2
host nothing 5 10.2.0.5 sleep 60
ip link set va5 master br2
wait_for "$WORK/announcer.log" '^webfind-announce: announcing'
wait_for "$WORK/closed.log" '^webfind-announce: announcing'
wait_listening "$WORK/device.log" || fail "the device did not start: $(cat "$WORK/device.log")"

WRAPPER=(nsenter -t "$FINDER" -n)
run_webfind -n -v --target 10.2.0.0/24
expect_status 0
# In the order the answers came.
[ "$(sort "$OUT")" = "$(printf 'Name:Camera URL:http://10.2.0.3/\nName:Lab NAS URL:http://10.2.0.2/')" ] ||
    fail "not the two devices beyond the router: $(cat "$OUT"); the announcer: $(cat "$WORK/announcer.log")"
grep -q 'probe to 224\.0\.0\.138' "$ERR" && fail "a multicast probe went out with targets alone: $(cat "$ERR")"
grep -q '^webfind: 2 of 254 targets answered; 2 said nothing listens there (port unreachable); 250 were silent' "$ERR" || fail "no count of the targets: $(cat "$ERR")"
# An announcer without --unicast-from is silent; a host where nothing
# listens says so (port unreachable).
run_webfind -n -v --target 10.2.0.4 --target 10.2.0.5
expect_status 0
expect_out ''
grep -q '^webfind: no device answered (probed 2 targets by unicast)$' "$ERR" || fail "not said what was probed: $(cat "$ERR")"
grep -q '^webfind: 0 of 2 targets answered; 1 said nothing listens there (port unreachable); 1 was silent: .*router or firewall' "$ERR" ||
    fail "-v does not tell the refused target from the silent one: $(cat "$ERR")"

# A watch over the targets: the device's death is told within two rounds.
run_watch() {
    env "${RUN_ENV[@]}" "${WRAPPER[@]}" "$WEBFIND" -n --watch=1 --duration=6 --target 10.2.0.3 > "$WORK/watch" 2>&1 &
}
run_watch
WATCH=$!
wait_for "$WORK/watch" 'up .*Camera'
kill "$(pgrep -f -- '--name Camera')" 2> /dev/null
wait "$WATCH"
grep -q 'down .*Camera' "$WORK/watch" || fail "the watch did not see the device die: $(cat "$WORK/watch")"
pass
