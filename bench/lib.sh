# shellcheck shell=bash
# What every benchmark starts with, sourced from the project root: the
# programs under test, and a private network namespace with multicast on
# loopback that the benchmark runs itself again inside:
#   cd "$(dirname "$0")/.." && . bench/lib.sh && bench_in_private_netns "$0" "$@"
WEBFIND=${WEBFIND:-$PWD/build/webfind}
RESPONDER=${RESPONDER:-$PWD/build/webfind-responder}

# shellcheck source=scripts/lib/netns.sh
. scripts/lib/netns.sh

bench_in_private_netns() {
    if ! reenter_in_private_netns WEBFIND_BENCH_NETNS bash "$@"; then
        echo "needs a private network namespace (unshare -n)" >&2
        exit 1
    fi
    loopback_multicast || exit 1
}

# started LOG WHAT: waits up to 10 s for WHAT (simulated devices, a web
# server) to say in LOG that it listens; ends the benchmark when it does
# not, rather than measuring without it.
started() {
    wait_listening "$1" 10 && return 0
    echo "$2 did not start: $(cat "$1")" >&2
    exit 1
}

# bench_workspace: a folder of its own in WORK and the processes started in
# PIDS, both gone when the script ends.
bench_workspace() {
    # shellcheck disable=SC2034  # for the scripts that source this one
    WORK=$(mktemp -d)
    PIDS=()
    trap 'kill "${PIDS[@]}" 2> /dev/null; wait 2> /dev/null; rm -rf "$WORK"' EXIT
}

# start_devices LOG ARGS...: simulated devices, waited for until they listen;
# their process ids in PIDS.
start_devices() {
    local log=$1
    shift
    "$RESPONDER" "$@" > "$log" 2>&1 &
    PIDS+=("$!")
    started "$log" "the simulated devices"
}

# rss_kib PID: a process's resident memory now.
rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2> /dev/null; }

# cpu_seconds PID: the CPU time a process has used so far (user and system).
cpu_seconds() {
    local stat
    read -r -a stat < "/proc/$1/stat" || return 1
    awk -v t=$((stat[13] + stat[14])) -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.2f", t / hz }'
}
