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
