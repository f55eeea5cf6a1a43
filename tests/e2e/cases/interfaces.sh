#!/bin/bash
# Two separate links, each to a namespace of its own with one device:
#   va1 10.1.0.1 <-> vb1 10.1.0.2 (device "One"), routing's choice
#   va2 10.2.0.1 <-> vb2 10.2.0.2 (device "Two")
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up no-route
for n in 1 2; do
    ip link add "va$n" type veth peer name "vb$n"
    ip addr add "10.$n.0.1/24" dev "va$n"
    ip link set "va$n" up
    ip link set "va$n" multicast on
    unshare -n bash -c "
        for _ in \$(seq 100); do ip link show vb$n >/dev/null 2>&1 && break; sleep 0.05; done
        ip link set lo up
        ip addr add 10.$n.0.2/24 dev vb$n
        ip link set vb$n up
        ip link set vb$n multicast on
        exec '$RESPONDER' --lifetime 30 --interface 10.$n.0.2 --name Device$n" > "$WORK/dev$n.log" 2>&1 &
    pid=$!
    PIDS+=("$pid")
    # Move the link only once the device has its own namespace.
    for _ in $(seq 100); do
        [ "$(readlink "/proc/$pid/ns/net")" != "$(readlink /proc/self/ns/net)" ] && break
        sleep 0.02
    done
    ip link set "vb$n" netns "$pid" || fail "cannot move vb$n into the device namespace"
done
ip route add 224.0.0.0/4 dev va1
for n in 1 2; do
    for _ in $(seq 100); do grep -q '^listening' "$WORK/dev$n.log" && break; sleep 0.05; done
    grep -q '^listening' "$WORK/dev$n.log" || fail "device $n did not start: $(cat "$WORK/dev$n.log")"
done
sleep 0.2  # let both links finish coming up
run_webfind --no-open
expect_status 0
expect_out 'Name:Device1 URL:http://10.1.0.2/\n'
run_webfind --no-open -i va2
expect_status 0
expect_out 'Name:Device2 URL:http://10.2.0.2/\n'
run_webfind --no-open --interface 10.2.0.1 --interface va1
expect_status 0
expect_out 'Name:Device1 URL:http://10.1.0.2/\nName:Device2 URL:http://10.2.0.2/\n'
run_webfind --no-open -a -v
expect_status 0
expect_out 'Name:Device1 URL:http://10.1.0.2/\nName:Device2 URL:http://10.2.0.2/\n'
grep -q '^webfind: probing through va1 va2$' "$ERR" || fail "interfaces not listed: $(cat "$ERR")"
pass
