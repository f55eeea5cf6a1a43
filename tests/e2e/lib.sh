# shellcheck shell=bash
# Sourced by every end-to-end case (tests/e2e/cases/NAME.sh). Each case runs
# in a private network namespace of its own, never on the real network:
# simulated devices answer from loopback addresses, webfind runs with a
# recording fake xdg-open first on PATH, and the case checks the exact bytes
# on standard output, the exit status, the URLs handed to the opener and the
# probes the devices logged.
#
# Needs WEBFIND and RESPONDER (paths of the binaries); the Windows build's
# runs add WEBFIND_WINDOWS_ARCH and WEBFIND_WINE_PREFIX. Exit 77 = skipped.

set -u
CASE=$(basename "$0" .sh)
E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/lib/netns.sh
. "$E2E_DIR/../../scripts/lib/netns.sh"

if ! reenter_in_private_netns WEBFIND_E2E_NETNS bash "$0" "$@"; then
    echo "SKIP [$CASE]: cannot create a private network namespace (unshare -n is not permitted here; run as root)"
    exit 77
fi
# /sys shows the interfaces of the namespace that mounted it: a private mount
# namespace with sysfs mounted anew shows this one's (their kinds included).
if [ -z "${WEBFIND_E2E_SYSFS:-}" ] && unshare -m true 2> /dev/null; then
    exec unshare -m env WEBFIND_E2E_SYSFS=1 bash "$0" "$@"
fi
[ -n "${WEBFIND_E2E_SYSFS:-}" ] && mount -t sysfs sysfs /sys 2> /dev/null

: "${WEBFIND:?set WEBFIND to the webfind binary}"
: "${RESPONDER:?set RESPONDER to the webfind-responder binary}"

WORK=$(mktemp -d)
PIDS=()
RUNNER=()   # what runs the tool: nothing, or the Wine loader
WRAPPER=()  # what a case puts in front of it: valgrind, time
cleanup() {
    for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null; done
    [ "${#RUNNER[@]}" -gt 0 ] && "$WINESERVER" -k 2>/dev/null
    wait 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
    echo "FAIL [$CASE]: $*"
    exit 1
}

skip() {
    echo "SKIP [$CASE]: $*"
    exit 77
}

pass() {
    echo "PASS [$CASE]"
    exit 0
}

under_wine() { [ "${#RUNNER[@]}" -gt 0 ]; }

# The Windows build reuses these cases under the Wine of its word size, with
# a wineserver of this namespace's own (Wine creates every socket there).
if [ -n "${WEBFIND_WINDOWS_ARCH:-}" ]; then
    # shellcheck source=scripts/lib/wine.sh
    . "$E2E_DIR/../../scripts/lib/wine.sh"
    wine_for "$WEBFIND_WINDOWS_ARCH" "${WEBFIND_WINE_PREFIX:?set WEBFIND_WINE_PREFIX to the Wine prefix for these tests}" ||
        fail "no Wine for $WEBFIND_WINDOWS_ARCH"
    wineserver_here || fail "no wineserver inside this namespace; refusing to run"
    RUNNER=("$WINELOADER")
fi

# network_up [no-route]: loopback with multicast, routed there unless told not to.
network_up() {
    loopback_multicast "$@" || fail "cannot set up loopback in the namespace"
}

# The fake opener appends each URL it is given, one per line.
mkdir -p "$WORK/bin"
cat > "$WORK/bin/xdg-open" <<OPENER
#!/bin/sh
printf '%s\n' "\$1" >> "$WORK/opened"
OPENER
chmod +x "$WORK/bin/xdg-open"
touch "$WORK/opened"

# device LOGNAME ARGS...: starts a simulated device and waits for it to listen.
device() {
    local log="$WORK/$1.log"
    shift
    "$RESPONDER" --lifetime 30 "$@" > "$log" 2>&1 &
    PIDS+=("$!")
    wait_listening "$log" || fail "device $* did not start: $(cat "$log")"
}

# run_webfind ARGS...: runs the tool; sets STATUS, OUT (file), ERR (file),
# ELAPSED_MS. RUN_ENV is its environment (the fake opener first on PATH, a
# display); WRAPPER goes in front of the command.
# Nothing of the caller's own desktop: no BROWSER, no WSL.
CLEAN_ENV=(-u BROWSER -u WSL_DISTRO_NAME -u WEBFIND_PORT)
# Pages of devices go to the case's own folder, and nothing is written in
# the machine's home.
mkdir -m 0700 "$WORK/runtime" "$WORK/home"
RUN_ENV=("${CLEAN_ENV[@]}" PATH="$WORK/bin:$PATH" DISPLAY=:0 XDG_RUNTIME_DIR="$WORK/runtime" HOME="$WORK/home")
OUT="$WORK/out"
ERR="$WORK/err"
run_webfind() {
    local start end
    start=$(date +%s%N)
    env "${RUN_ENV[@]}" "${WRAPPER[@]}" "${RUNNER[@]}" "$WEBFIND" "$@" > "$OUT" 2> "$ERR"
    STATUS=$?
    # A Wine program whose server ends it ends with status 1 and not a byte
    # written, as the tool does when no device matches: under Wine such a
    # run is made once more, and when the two differ, the first was Wine's
    # doing and is said.
    if under_wine && [ "$STATUS" -eq 1 ] && [ ! -s "$OUT" ] && [ ! -s "$ERR" ]; then
        env "${RUN_ENV[@]}" "${WRAPPER[@]}" "${RUNNER[@]}" "$WEBFIND" "$@" > "$OUT" 2> "$ERR"
        STATUS=$?
        if [ "$STATUS" -ne 1 ] || [ -s "$OUT" ] || [ -s "$ERR" ]; then
            echo "note: under Wine, 'webfind $*' first ended with status 1 and no output, as when Wine's server ends a program; the run again gave status $STATUS"
        fi
    fi
    end=$(date +%s%N)
    # shellcheck disable=SC2034  # read by the cases
    ELAPSED_MS=$(( (end - start) / 1000000 ))
}

expect_status() { [ "$STATUS" -eq "$1" ] || fail "exit status $STATUS, expected $1; stdout: $(cat "$OUT"); stderr: $(cat "$ERR")"; }

# expect_out FORMAT: the exact stdout bytes, as printf renders FORMAT.
expect_out() {
    # shellcheck disable=SC2059  # the format is the expectation
    printf "$1" > "$WORK/expected"
    cmp -s "$WORK/expected" "$OUT" || fail "stdout differs:
--- expected
$(od -c "$WORK/expected" | head -20)
--- got
$(od -c "$OUT" | head -20)"
}

# openers_done: waits until no opener that webfind started is still running,
# so that every URL it was given is recorded. webfind never waits for them;
# under Wine they start through winebrowser, which may outlive the tool.
openers_done() {
    for _ in $(seq 200); do
        pgrep -f "$WORK/bin/" > /dev/null || { under_wine && pgrep -f winebrowser > /dev/null; } || return 0
        sleep 0.05
    done
    fail "an opener is still running after 10 s: $(pgrep -af "$WORK/bin/")"
}

# wait_for FILE PATTERN [COUNT]: waits until FILE has COUNT (default 1) lines
# matching the extended regular expression PATTERN.
wait_for() {
    local want=${3:-1}
    for _ in $(seq 400); do
        [ "$(grep -cE -- "$2" "$1" 2> /dev/null)" -ge "$want" ] && return 0
        sleep 0.05
    done
    fail "waited 20 s for $want lines like '$2' in $1: $(cat "$1" 2> /dev/null)"
}

# expect_opened URL...: the set of URLs handed to the opener, once every
# opener webfind started has ended (the order they end in is theirs).
expect_opened() {
    openers_done
    printf '%s\n' "$@" | sed '/^$/d' | sort > "$WORK/opened.expected"
    sort "$WORK/opened" > "$WORK/opened.sorted"
    cmp -s "$WORK/opened.expected" "$WORK/opened.sorted" || fail "opened URLs differ: expected [$(tr '\n' ' ' < "$WORK/opened.expected")] got [$(tr '\n' ' ' < "$WORK/opened.sorted")]"
}

# The probe as the device sees it on the wire, written out independently of
# the code that builds it.
PROBE_HEX="73 46 7A 20 02 00 00 00 01 00 00 00"

# expect_probes LOGNAME N: the device saw N identical probes from one source port.
expect_probes() {
    local log="$WORK/$1.log" n
    n=$(grep -c "^probe from .* 12 bytes: $PROBE_HEX\$" "$log")
    [ "$n" -eq "$2" ] || fail "device $1 logged $n probes, expected $2: $(cat "$log")"
    n=$(grep '^probe from' "$log" | awk '{print $3}' | sort -u | wc -l)
    [ "$n" -le 1 ] || fail "probes came from $n different sources"
}

# device_behind_link N ARGS...: a device in a namespace of its own, behind a
# veth link: vaN 10.N.0.1 here, vbN 10.N.0.2 there, where the device answers
# from with ARGS. Its log is $WORK/devN.log. Call device_ready N before use.
# With LINK_MAC set, vbN has that MAC address; with LINK_ALSO set, that
# address is on the device's loopback as well: a host behind a router, which
# asks for the link's addresses with its own (ARP from the link address).
device_behind_link() {
    local n=$1 pid
    shift
    ip link add "va$n" type veth peer name "vb$n" || fail "cannot make the link va$n"
    ip addr add "10.$n.0.1/24" dev "va$n"
    ip link set "va$n" up
    ip link set "va$n" multicast on
    # shellcheck disable=SC2016  # expanded by the inner shell
    unshare -n bash -c '
        n=$1
        shift
        for _ in $(seq 100); do ip link show "vb$n" > /dev/null 2>&1 && break; sleep 0.05; done
        ip link set lo up
        ip addr add "10.$n.0.2/24" dev "vb$n"
        [ -z "${LINK_MAC:-}" ] || ip link set "vb$n" address "$LINK_MAC"
        if [ -n "${LINK_ALSO:-}" ]; then
            ip addr add "$LINK_ALSO/32" dev lo
            sysctl -qw net.ipv4.conf.all.arp_announce=2
        fi
        ip link set "vb$n" up
        ip link set "vb$n" multicast on
        exec "$@" --interface "10.$n.0.2"' device-link "$n" "$RESPONDER" --lifetime 30 "$@" > "$WORK/dev$n.log" 2>&1 &
    pid=$!
    PIDS+=("$pid")
    # Move the link only once the device has its own namespace.
    wait_own_netns "$pid"
    ip link set "vb$n" netns "$pid" || fail "cannot move vb$n into the device namespace"
}

# host_behind_links NAME "N..." COMMAND...: another host, in a network
# namespace of its own, joined to this one by link N for each N given (vaN
# 10.N.0.1 here, vbN 10.N.0.2 there, /24 unless LINK_PREFIX says), running
# COMMAND there; its output in $WORK/NAME.log, its process id in HOST_PID.
# With HOST_NAME set, the host has that name, in a namespace of its own.
host_behind_links() {
    local name=$1 links=$2 n prefix=${LINK_PREFIX:-24} namespaces=-n
    shift 2
    for n in $links; do
        ip link add "va$n" type veth peer name "vb$n" || fail "cannot make the link va$n"
        ip addr add "10.$n.0.1/$prefix" dev "va$n"
        ip link set "va$n" up
        ip link set "va$n" multicast on
    done
    [ -n "${HOST_NAME:-}" ] && namespaces=-nu
    # shellcheck disable=SC2016  # expanded by the inner shell
    unshare "$namespaces" bash -c '
        links=$1 prefix=$2
        shift 2
        [ -z "${HOST_NAME:-}" ] || hostname "$HOST_NAME"
        for n in $links; do
            for _ in $(seq 100); do ip link show "vb$n" > /dev/null 2>&1 && break; sleep 0.05; done
            ip addr add "10.$n.0.2/$prefix" dev "vb$n"
            ip link set "vb$n" up
            ip link set "vb$n" multicast on
        done
        ip link set lo up
        exec "$@"' host-links "$links" "$prefix" "$@" > "$WORK/$name.log" 2>&1 &
    HOST_PID=$!
    PIDS+=("$HOST_PID")
    wait_own_netns "$HOST_PID"
    for n in $links; do ip link set "vb$n" netns "$HOST_PID" || fail "cannot move vb$n into the namespace of $name"; done
    for n in $links; do
        for _ in $(seq 100); do ip -o link show "va$n" | grep -q 'LOWER_UP' && break; sleep 0.05; done
    done
}

# device_ready N: waits until the device behind link N listens and the link
# carries traffic both ways.
device_ready() {
    wait_listening "$WORK/dev$1.log" || fail "device $1 did not start: $(cat "$WORK/dev$1.log")"
    for _ in $(seq 100); do ip -o link show "va$1" | grep -q 'LOWER_UP' && return 0; sleep 0.05; done
    fail "link va$1 did not come up: $(ip -o link show "va$1")"
}

# device_on_lan ARGS...: one device (ARGS as for the simulated device)
# behind link 1, which carries the multicast route: a LAN of one.
device_on_lan() {
    network_up no-route
    device_behind_link 1 "$@"
    ip route add 224.0.0.0/4 dev va1
    device_ready 1
}

# load_ruleset NAME: loads the nftables ruleset NAME into this namespace's
# own firewall, from the one copy the reader's unit tests were recorded from
# (tests/unit/diagnosis/rulesets/NAME.rules).
RULESETS=$E2E_DIR/../unit/diagnosis/rulesets
load_ruleset() {
    command -v nft > /dev/null || skip "nft is not installed (nftables)"
    nft -f "$RULESETS/$1.rules" || fail "cannot load the firewall rules $1"
}

# advice: the commands the diagnosis on standard error says to run (its
# "Next:" lines and the lines that carry on from them), without "sudo ".
advice() {
    awk '/^     Next: / { on = 1; sub(/^     Next: /, ""); print; next }
         on && /^           / { sub(/^ +/, ""); print; next }
         { on = 0 }' "$ERR" | sed -n 's/^sudo //p' | sed 's/ && sudo / \&\& /g'
}

# keep: the diagnosis' "Keep:" step and the lines that carry on from it,
# as printed (sudo and all).
keep() {
    awk '/^     Keep: / { on = 1; sub(/^     Keep: /, ""); print; next }
         on && /^           / { sub(/^ +/, ""); print; next }
         { on = 0 }' "$ERR"
}

# private_etc: from here on, /etc is a copy of the machine's, in this case's
# own mount namespace: what a "Keep" step writes there (and what a boot
# would read) never reaches the machine's files.
private_etc() {
    [ -n "${WEBFIND_E2E_SYSFS:-}" ] || skip "no private mount namespace (unshare -m) for an /etc of the case's own"
    cp -a /etc "$WORK/etc" 2> /dev/null
    mount --bind "$WORK/etc" /etc || skip "cannot put a copy of /etc in place"
}

# run_advice: runs each command of the advice, as root, in this namespace.
run_advice() {
    local commands
    commands=$(advice)
    [ -n "$commands" ] || fail "no command to run in: $(cat "$ERR")"
    while IFS= read -r command; do
        echo "running the advice: $command"
        bash -c "$command" > "$WORK/advice.log" 2>&1 || fail "the advice '$command' failed: $(cat "$WORK/advice.log")"
    done <<< "$commands"
}

# As a user without privileges: the usual desktop case.
# shellcheck disable=SC2034  # read by the cases
AS_USER=(setpriv --reuid=65534 --regid=65534 --clear-groups)

# watchdog PID SECONDS: kills PID (SIGKILL) if it still runs after SECONDS,
# far beyond the moment a case expects it to end: a process that does not
# end is then seen to have been killed (status 137). It ends by itself once
# PID has ended, and must not be killed: until it has started its own shell,
# it is a subshell of the case, which would run the case's EXIT trap (and
# clean the case up under it). It holds none of the case's descriptors.
watchdog() {
    sh -c 'i=0; while kill -0 "$2" 2> /dev/null; do
               [ "$i" -ge "$(($1 * 10))" ] && { kill -s KILL "$2"; exit; }
               i=$((i + 1)); sleep 0.1
           done' watchdog "$2" "$1" > /dev/null 2>&1 < /dev/null &
}

# web_server LOGNAME ADDRESS PORT MODE [tls]: a device's web server (see
# webserver.py), HTTPS with a self-signed certificate for ADDRESS when asked;
# waits until it listens. Its connections are logged in $WORK/LOGNAME.log.
web_server() {
    local name=$1 address=$2 port=$3 mode=$4 tls=()
    command -v python3 > /dev/null || skip "python3 is not installed"
    if [ "${5:-}" = tls ]; then
        command -v openssl > /dev/null || skip "openssl is not installed"
        openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=$address" -addext "subjectAltName=IP:$address" \
            -keyout "$WORK/$name.key" -out "$WORK/$name.crt" > "$WORK/$name.openssl" 2>&1 ||
            fail "cannot make a certificate: $(cat "$WORK/$name.openssl")"
        tls=("$WORK/$name.crt" "$WORK/$name.key")
    fi
    : > "$WORK/$name.log"
    python3 "$E2E_DIR/webserver.py" "$address" "$port" "$mode" "$WORK/$name.log" "${tls[@]}" > "$WORK/$name.out" 2>&1 &
    PIDS+=("$!")
    wait_listening "$WORK/$name.out" || fail "web server $name did not start: $(cat "$WORK/$name.out")"
}
