# shellcheck shell=sh
# Sourced by every script that runs something able to send packets: webfind,
# the simulated device, Wine, a browser. They run only inside a private
# network namespace made here, never on the host's own network.

# reenter_in_private_netns MARKER COMMAND...: when the variable MARKER is set,
# we are inside already: returns 0 and the caller goes on. Otherwise runs
# COMMAND with MARKER=1 in a new private network namespace (as root a plain
# one, else one inside a user namespace) and exits with its status; returns 1
# when no namespace can be made, so the caller can skip or refuse.
reenter_in_private_netns() {
    _marker=$1
    shift
    eval "_inside=\${$_marker:-}"
    [ -n "$_inside" ] && return 0
    if unshare -n true 2>/dev/null; then
        exec unshare -n env "$_marker=1" "$@"
    elif unshare -rn true 2>/dev/null; then
        exec unshare -rn env "$_marker=1" "$@"
    fi
    return 1
}

# loopback_multicast [no-route]: brings loopback up with multicast on and,
# unless told otherwise, routes the multicast range through it, so that the
# probes reach simulated devices on 127.x.y.z and nothing else.
loopback_multicast() {
    ip link set lo up || return 1
    ip link set lo multicast on || return 1
    [ "${1:-}" = no-route ] && return 0
    ip route add 224.0.0.0/4 dev lo
}

# wait_own_netns PID: waits, 2 s at most, until the process PID (just
# started with unshare -n) is in a network namespace of its own, so that a
# link can be moved into it.
wait_own_netns() {
    for _ in $(seq 100); do
        [ "$(readlink "/proc/$1/ns/net")" != "$(readlink /proc/self/ns/net)" ] && return 0
        sleep 0.02
    done
    return 1
}

# wait_listening LOG [SECONDS]: waits, 5 s unless said, for the "listening"
# line that a simulated device or the tests' web server writes to LOG once
# it is ready; false when it does not come.
wait_listening() {
    for _ in $(seq $((${2:-5} * 20))); do
        grep -q '^listening' "$1" 2> /dev/null && return 0
        sleep 0.05
    done
    return 1
}
