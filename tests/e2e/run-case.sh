#!/bin/bash
# One end-to-end case: run-case.sh CASE
#
# Each case runs in a private network namespace of its own (never on the real
# network): simulated devices answer from loopback addresses, webfind runs with
# a recording fake xdg-open first on PATH, and the case checks the exact bytes
# on standard output, the exit status, the URLs handed to the opener and the
# probes the devices logged.
#
# Needs: WEBFIND, RESPONDER (paths of the binaries). Exit 77 = skipped.

set -u
CASE=${1:?usage: run-case.sh CASE}

if [ -z "${WEBFIND_E2E_IN_NAMESPACE:-}" ]; then
    # As root a plain network namespace; otherwise one inside a user namespace.
    if unshare -n true 2>/dev/null; then
        exec unshare -n env WEBFIND_E2E_IN_NAMESPACE=1 bash "$0" "$@"
    elif unshare -rn true 2>/dev/null; then
        exec unshare -rn env WEBFIND_E2E_IN_NAMESPACE=1 bash "$0" "$@"
    fi
    echo "SKIP: cannot create a private network namespace (unshare -n is not permitted here; run as root)"
    exit 77
fi

: "${WEBFIND:?set WEBFIND to the webfind binary}"
: "${RESPONDER:?set RESPONDER to the webfind-responder binary}"
WORK=$(mktemp -d)
PIDS=()
RUNNER=
cleanup() {
    for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null; done
    [ -n "$RUNNER" ] && "$WINESERVER" -k 2>/dev/null
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

# The Windows build reuses these cases under the Wine of its word size, with
# a wineserver of this namespace's own (Wine creates every socket there).
if [ -n "${WEBFIND_WINDOWS_ARCH:-}" ]; then
    . "$(dirname "$0")/../../scripts/lib/wine.sh"
    wine_for "$WEBFIND_WINDOWS_ARCH" "${WEBFIND_WINE_PREFIX:?set WEBFIND_WINE_PREFIX to the Wine prefix for these tests}" || fail "no Wine for $WEBFIND_WINDOWS_ARCH"
    wineserver_here || fail "no wineserver inside this namespace; refusing to run"
    RUNNER=$WINELOADER
fi

network_up() {
    ip link set lo up
    ip link set lo multicast on
    [ "${1:-route}" = route ] && ip route add 224.0.0.0/4 dev lo
    return 0
}

# The fake opener appends each URL it is given, one per line.
mkdir -p "$WORK/bin"
cat > "$WORK/bin/xdg-open" <<EOF
#!/bin/sh
printf '%s\n' "\$1" >> "$WORK/opened"
EOF
chmod +x "$WORK/bin/xdg-open"
touch "$WORK/opened"

# device LOGNAME ARGS...: starts a simulated device and waits for it to listen.
device() {
    local log="$WORK/$1.log"
    shift
    "$RESPONDER" --lifetime 30 "$@" > "$log" 2>&1 &
    PIDS+=($!)
    for _ in $(seq 100); do
        grep -q '^listening' "$log" 2>/dev/null && return 0
        sleep 0.05
    done
    fail "device $* did not start: $(cat "$log")"
}

# run_webfind: runs the tool; sets STATUS, OUT (file), ERR (file), ELAPSED_MS.
# RUN_ENV is its environment (the fake opener first on PATH, a display);
# WRAPPER, if set, goes in front of the command (valgrind, time).
RUN_ENV=(PATH="$WORK/bin:$PATH" DISPLAY=:0)
run_webfind() {
    local start end
    start=$(date +%s%N)
    env "${RUN_ENV[@]}" ${WRAPPER:-} $RUNNER "$WEBFIND" "$@" > "$WORK/out" 2> "$WORK/err"
    STATUS=$?
    end=$(date +%s%N)
    ELAPSED_MS=$(( (end - start) / 1000000 ))
    OUT="$WORK/out"
    ERR="$WORK/err"
}

expect_status() { [ "$STATUS" -eq "$1" ] || fail "exit status $STATUS, expected $1; stdout: $(cat "$OUT"); stderr: $(cat "$ERR")"; }

# expect_out FORMAT: the exact stdout bytes, as printf renders FORMAT.
expect_out() {
    printf "$1" > "$WORK/expected"
    cmp -s "$WORK/expected" "$OUT" || fail "stdout differs:
--- expected
$(od -c "$WORK/expected" | head -20)
--- got
$(od -c "$OUT" | head -20)"
}

# expect_opened URL...: the set of URLs handed to the opener (not waited for,
# so compared as a set once the expected number has arrived).
expect_opened() {
    local want=$#
    for _ in $(seq 60); do
        [ "$(wc -l < "$WORK/opened")" -ge "$want" ] && break
        sleep 0.05
    done
    sleep 0.1
    printf '%s\n' "$@" | sed '/^$/d' | sort > "$WORK/opened.expected"
    sort "$WORK/opened" > "$WORK/opened.sorted"
    cmp -s "$WORK/opened.expected" "$WORK/opened.sorted" || fail "opened URLs differ: expected [$(tr '\n' ' ' < "$WORK/opened.expected")] got [$(tr '\n' ' ' < "$WORK/opened.sorted")]"
}

PROBE_HEX="73 46 7A 20 02 00 00 00 01 00 00 00"

# expect_probes LOGNAME N: the device saw N identical probes from one source port.
expect_probes() {
    local log="$WORK/$1.log" n
    n=$(grep -c "^probe from .* 12 bytes: $PROBE_HEX\$" "$log")
    [ "$n" -eq "$2" ] || fail "device $1 logged $n probes, expected $2: $(cat "$log")"
    n=$(grep '^probe from' "$log" | awk '{print $3}' | sort -u | wc -l)
    [ "$n" -le 1 ] || fail "probes came from $n different sources"
}

case "$CASE" in
no_device)
    network_up
    device listener --probes 0
    run_webfind
    expect_status 0
    expect_out ""
    expect_opened
    expect_probes listener 3
    [ -s "$ERR" ] && fail "unexpected stderr: $(cat "$ERR")"
    # Loose: the run is about 400 ms; only a hang or a lost wait shows here.
    # Not under Wine, whose start-up time makes the figure meaningless.
    [ -z "$RUNNER" ] && [ "$ELAPSED_MS" -ge 3000 ] && fail "took ${ELAPSED_MS} ms with no device"
    ;;

address_order)
    network_up
    device d100 --from 127.0.0.100 --name "Hundred"
    device d3 --from 127.0.0.3 --name "Three"
    device d1 --from 127.1.0.1 --name "Far" --url "https://127.1.0.1:8443/ui"
    device d20 --from 127.0.0.20 --name "Twenty"
    run_webfind
    expect_status 0
    expect_out 'Name:Three URL:http://127.0.0.3/\nName:Twenty URL:http://127.0.0.20/\nName:Hundred URL:http://127.0.0.100/\nName:Far URL:https://127.1.0.1:8443/ui\n'
    expect_opened http://127.0.0.3/ http://127.0.0.20/ http://127.0.0.100/ https://127.1.0.1:8443/ui
    ;;

first_answer_wins)
    network_up
    # Both stand at 127.0.0.5; the second always answers 50 ms later.
    device first --from 127.0.0.5 --name "First"
    device second --from 127.0.0.5 --name "Second" --url "http://second/" --after 50
    run_webfind
    expect_status 0
    expect_out 'Name:First URL:http://127.0.0.5/\n'
    expect_opened http://127.0.0.5/
    ;;

rejected_then_valid)
    network_up
    printf 'sFz \003\000\000\000' > "$WORK/header-only.bin"
    device bad --from 127.0.0.5 --raw "$WORK/header-only.bin" --probes 1
    device good --from 127.0.0.5 --name "Good" --after 50
    run_webfind
    expect_status 0
    expect_out 'Name:Good URL:http://127.0.0.5/\n'
    expect_opened http://127.0.0.5/
    ;;

keeps_collecting)
    network_up
    # Junk every 150 ms for about a second keeps the run collecting long
    # enough to hear a device that answers after one second.
    printf 'junk' > "$WORK/junk.bin"
    device chatty --from 127.0.0.7 --raw "$WORK/junk.bin" --probes 1 --repeat 8 --every 150
    device late --from 127.0.0.8 --name "Late" --probes 1 --after 1000
    run_webfind
    expect_status 0
    expect_out 'Name:Late URL:http://127.0.0.8/\n'
    expect_opened http://127.0.0.8/
    ;;

no_route)
    network_up no-route
    run_webfind
    expect_status 255
    expect_out 'Socket Send Err\n'
    expect_opened
    ;;

stray_datagrams_ignored)
    network_up
    : > "$WORK/empty.bin"
    head -c 2000 /dev/zero > "$WORK/big.bin"
    device empty --from 127.0.0.9 --raw "$WORK/empty.bin" --probes 1
    device big --from 127.0.0.10 --raw "$WORK/big.bin" --probes 1
    device good --from 127.0.0.11 --name "Still here" --after 50
    run_webfind
    expect_status 0
    expect_out 'Name:Still here URL:http://127.0.0.11/\n'
    expect_opened http://127.0.0.11/
    ;;

collecting_is_bounded)
    network_up
    printf 'junk' > "$WORK/junk.bin"
    device chatty --from 127.0.0.7 --raw "$WORK/junk.bin" --probes 1 --repeat 100 --every 150
    device good --from 127.0.0.8 --name "Good" --probes 1
    run_webfind
    expect_status 0
    expect_out 'Name:Good URL:http://127.0.0.8/\n'
    expect_opened http://127.0.0.8/
    [ "$ELAPSED_MS" -lt 9000 ] || fail "collecting ran ${ELAPSED_MS} ms despite its limit"
    [ "$ELAPSED_MS" -ge 4500 ] || fail "ended after ${ELAPSED_MS} ms, before the chatter stopped or the limit"
    ;;

terminal_escaping)
    network_up
    device evil --from 127.0.0.6 --name $'\e[2J\e[31mred\nName:fake' --url $'http://127.0.0.6/\x7fx'
    run_webfind
    expect_status 0
    expect_out 'Name:\\x1B[2J\\x1B[31mred\\x0AName:fake URL:http://127.0.0.6/\\x7Fx\n'
    # A URL holding a control byte is listed but never handed to the opener.
    expect_opened
    grep -q 'not opening the URL of 127.0.0.6' "$ERR" || fail "no note on stderr: $(cat "$ERR")"
    ;;

high_bytes_unchanged)
    network_up
    device cafe --from 127.0.0.6 --name $'Caf\xc3\xa9 \xff' --url $'http://127.0.0.6/\xc3\xa9'
    run_webfind
    expect_status 0
    expect_out 'Name:Caf\303\251 \377 URL:http://127.0.0.6/\303\251\n'
    # Under Wine too: UTF-8 is read as UTF-8 on its way to the shell.
    expect_opened $'http://127.0.0.6/\xc3\xa9'
    ;;

console_text)
    # On a terminal (a Windows console, under Wine) a UTF-8 name reads as
    # itself whatever the console's code page; bytes that are not UTF-8 are
    # left to the code page. Wine draws the console with escape sequences
    # and CR LF, so only the names are compared.
    command -v script > /dev/null || skip "script(1) is not installed"
    network_up
    device cafe --from 127.0.0.6 --name $'Caf\xc3\xa9 \xe2\x82\xac'
    device latin --from 127.0.0.7 --name $'Latin \xe9'
    LANG=C.UTF-8 script -qec "$RUNNER $WEBFIND -n" /dev/null > "$WORK/terminal" 2>&1 || fail "run on a terminal failed: $(cat "$WORK/terminal")"
    grep -q $'Name:Caf\xc3\xa9 \xe2\x82\xac URL:http://127.0.0.6/' "$WORK/terminal" || fail "UTF-8 name garbled: $(od -c "$WORK/terminal" | head)"
    [ -n "$RUNNER" ] || grep -q $'Name:Latin \xe9 URL:' "$WORK/terminal" || fail "bytes changed on a terminal"
    ;;

opener_missing)
    # Under Wine the shell always starts its browser launcher, which then
    # finds no browser: the failure cannot reach webfind there.
    [ -n "$RUNNER" ] && skip "Wine's launcher hides a missing opener"
    network_up
    device d --from 127.0.0.4 --name "Printer"
    mkdir -p "$WORK/nothing"
    RUN_ENV=(PATH="$WORK/nothing" DISPLAY=:0)
    run_webfind
    expect_status 0
    expect_out 'Name:Printer URL:http://127.0.0.4/\n'
    grep -q 'could not open http://127.0.0.4/' "$ERR" || fail "no note on stderr: $(cat "$ERR")"
    [ "$(wc -l < "$ERR")" -eq 1 ] || fail "expected one stderr line: $(cat "$ERR")"
    ;;

no_display)
    [ -n "$RUNNER" ] && skip "Windows has no DISPLAY; the desktop is always there"
    network_up
    device d --from 127.0.0.4 --name "Printer"
    RUN_ENV=(-u DISPLAY -u WAYLAND_DISPLAY PATH="$WORK/bin:$PATH")
    run_webfind
    expect_status 0
    expect_out 'Name:Printer URL:http://127.0.0.4/\n'
    sleep 0.3
    expect_opened
    grep -q 'no graphical session' "$ERR" || fail "no note on stderr: $(cat "$ERR")"
    ;;

no_open)
    network_up
    device d --from 127.0.0.4 --name "Printer"
    run_webfind --no-open
    expect_status 0
    expect_out 'Name:Printer URL:http://127.0.0.4/\n'
    sleep 0.3
    expect_opened
    ;;

json_output)
    network_up
    device a --from 127.0.0.30 --name $'Quote" \\ \x01 \xff'
    device b --from 127.0.0.4 --name "Plain"
    run_webfind --json
    expect_status 0
    expect_out '[\n  {\n    "address": "127.0.0.4",\n    "name": "Plain",\n    "url": "http://127.0.0.4/"\n  },\n  {\n    "address": "127.0.0.30",\n    "name": "Quote\\" \\\\ \\u0001 \357\277\275",\n    "url": "http://127.0.0.30/"\n  }\n]\n'
    sleep 0.3
    expect_opened
    ;;

json_empty)
    network_up
    run_webfind --json
    expect_status 0
    expect_out '[]\n'
    ;;

verbose_verdicts)
    network_up
    printf 'sFz \003\000\000\000' > "$WORK/short.bin"
    device bad --from 127.0.0.5 --raw "$WORK/short.bin" --probes 1
    device good --from 127.0.0.6 --name "Good"
    run_webfind -v --no-open
    expect_status 0
    expect_out 'Name:Good URL:http://127.0.0.6/\n'
    grep -q '^webfind: 127.0.0.5:3576 8 bytes: rejected: too short$' "$ERR" || fail "no rejection verdict: $(cat "$ERR")"
    grep -q '^webfind: 127.0.0.6:3576 [0-9]* bytes: accepted$' "$ERR" || fail "no accepted verdict: $(cat "$ERR")"
    grep -q '^webfind: 127.0.0.6:3576 [0-9]* bytes: duplicate of an earlier answer$' "$ERR" || fail "no duplicate verdict: $(cat "$ERR")"
    ;;

verbose_nothing_answered)
    network_up
    run_webfind -v
    expect_status 0
    expect_out ''
    grep -q "^webfind: no device answered (probed via the system's default interface)$" "$ERR" || fail "no note: $(cat "$ERR")"
    ;;

usage)
    run_webfind --wait nonsense
    expect_status 2
    expect_out ''
    [ "$(wc -l < "$ERR")" -eq 1 ] || fail "expected one line: $(cat "$ERR")"
    grep -q -- "--help" "$ERR" || fail "no pointer to --help: $(cat "$ERR")"
    run_webfind --json -i nosuch0
    expect_status 2
    grep -q "unknown interface 'nosuch0'" "$ERR" || fail "unknown interface not named: $(cat "$ERR")"
    run_webfind --help
    expect_status 0
    grep -q -- '--json' "$OUT" || fail "help lacks --json"
    run_webfind --version
    expect_status 0
    grep -q '^webfind [0-9]' "$OUT" || fail "bad version line: $(cat "$OUT")"
    ;;

interfaces)
    # Two separate links, each to a namespace of its own with one device:
    #   va1 10.1.0.1 <-> vb1 10.1.0.2 (device "One"), routing's choice
    #   va2 10.2.0.1 <-> vb2 10.2.0.2 (device "Two")
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
    ;;

many_devices)
    # A correctness test, not a timing test: 3000 devices answering each probe
    # at the same moment are all found, each once, in address order.
    network_up
    device crowd --from 127.0.1.1 --count 3000 --name "Device {addr}"
    run_webfind --no-open
    expect_status 0
    [ "$(grep -c '^Name:Device ' "$OUT")" -eq 3000 ] || fail "found $(grep -c '^Name:' "$OUT") of 3000 devices"
    [ "$(sort -u "$OUT" | wc -l)" -eq 3000 ] || fail "a device was listed twice"
    head -1 "$OUT" | grep -qx 'Name:Device 127.0.1.1 URL:http://127.0.1.1/' || fail "first line: $(head -1 "$OUT")"
    tail -1 "$OUT" | grep -qx 'Name:Device 127.0.12.184 URL:http://127.0.12.184/' || fail "last line: $(tail -1 "$OUT")"
    ;;

hostile_flood)
    # Ten well-behaved devices answer while 100,000 hostile datagrams arrive
    # from forged addresses. The run must end on time, list every good device,
    # open only safe URLs and at most 32 of them, and stay small.
    network_up
    device good --from 127.0.0.10 --count 10 --name "Good {addr}"
    device flood --from 127.0.0.250 --hostile 100000 --probes 1
    WRAPPER="/usr/bin/time -f %M -o $WORK/peak"
    run_webfind
    expect_status 0
    for n in $(seq 10 19); do
        grep -qx "Name:Good 127.0.0.$n URL:http://127.0.0.$n/" "$OUT" || fail "good device 127.0.0.$n missing ($(wc -l < "$OUT") lines)"
    done
    sleep 0.5
    opened=$(wc -l < "$WORK/opened")
    [ "$opened" -le 32 ] || fail "opened $opened URLs"
    if LC_ALL=C grep -q '[[:cntrl:] "<>\\^`{|}]' "$WORK/opened"; then fail "opened an unsafe URL: $(LC_ALL=C grep '[[:cntrl:] "<>\\^`{|}]' "$WORK/opened" | head -1)"; fi
    peak=$(tail -1 "$WORK/peak")
    # A sanitizer build carries its own shadow memory, and under Wine the
    # figure is Wine's; the bound is for the native tool.
    [ -n "${WEBFIND_SANITIZED:-}$RUNNER" ] || [ "$peak" -lt 65536 ] || fail "peak memory ${peak} KiB"
    # The collecting limit is 5 s after the probes; the rest is a loose margin.
    [ "$ELAPSED_MS" -lt 9000 ] || fail "took ${ELAPSED_MS} ms"
    if LC_ALL=C grep -q $'\x1b' "$OUT"; then fail "an escape byte reached the terminal"; fi
    echo "listed $(wc -l < "$OUT") devices, opened $opened URLs, peak ${peak} KiB, ${ELAPSED_MS} ms"
    ;;

under_valgrind)
    # One whole run under memcheck: no invalid access, no leak, on hostile input.
    [ -n "$RUNNER" ] && skip "not for the Windows build"
    [ -n "${WEBFIND_SANITIZED:-}" ] && skip "a sanitizer build does not run under valgrind"
    command -v valgrind > /dev/null || skip "valgrind is not installed"
    network_up
    : > "$WORK/empty.bin"
    printf 'sFz \003\000\000\000' > "$WORK/short.bin"
    device empty --from 127.0.0.9 --raw "$WORK/empty.bin" --probes 1
    device short --from 127.0.0.8 --raw "$WORK/short.bin"
    device evil --from 127.0.0.6 --name $'\e[2Jevil' --url 'http://127.0.0.6/"x'
    device good --from 127.0.0.5 --name "Good"
    WRAPPER="valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect"
    run_webfind -v
    expect_status 0
    expect_out 'Name:Good URL:http://127.0.0.5/\nName:\\x1B[2Jevil URL:http://127.0.0.6/"x\n'
    ;;

*)
    fail "unknown case"
    ;;
esac
echo "PASS [$CASE]"
