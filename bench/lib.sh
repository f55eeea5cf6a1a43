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
