#!/bin/sh
# Runs one Windows build's tests, unit and end-to-end, under the Wine of its
# word size, inside a private network namespace made here. Stops its
# wineserver on every path and ends with ctest's status.
#   scripts/windows-tests.sh i686|x86_64 [CTEST ARGUMENTS...]
set -u
cd "$(dirname "$0")/.." || exit 1
# shellcheck source=scripts/lib/netns.sh
. scripts/lib/netns.sh
# shellcheck source=scripts/lib/wine.sh
. scripts/lib/wine.sh
arch=${1:?usage: windows-tests.sh i686|x86_64}
build=$PWD/build-windows-$arch

if ! reenter_in_private_netns WEBFIND_WINE_NETNS sh "$0" "$@"; then
    echo "note: the $arch Windows tests were not run: no private network namespace can be made here (unshare -n), and Wine runs only inside one"
    exit 0
fi

loopback_multicast no-route || exit 1
# The end-to-end cases each start a server of their own for one of two
# prefixes (two cases at once), in a namespace of their own; the unit tests
# use a third. The prefixes are made side by side.
pids=""
for prefix in wine-e2e-0 wine-e2e-1 wine; do
    (wine_for "$arch" "$build/$prefix" && wine_prefix_ready) &
    pids="$pids $!"
done
for pid in $pids; do
    wait "$pid" || { echo "cannot create the Wine prefixes in $build"; exit 1; }
done
wine_for "$arch" "$build/wine"
trap '"$WINESERVER" -k 2>/dev/null' EXIT
trap 'exit 130' INT TERM
# One server for all the unit tests, kept until the end: a server that exits
# as one test ends drops the next test's connection ("recvmsg: Connection
# reset by peer") when two run side by side.
wineserver_here || { echo "no wineserver inside this namespace; refusing to run"; exit 1; }

shift
ctest --preset "windows-$arch" "$@"
exit $?
