#!/bin/sh
# A look at webfind working, without touching the real network: three
# simulated devices in a private network namespace, and webfind listing them.
set -u
cd "$(dirname "$0")/.." || exit 1
# shellcheck source=scripts/lib/netns.sh
. scripts/lib/netns.sh
WEBFIND=${WEBFIND:-build/webfind}
RESPONDER=${RESPONDER:-build/webfind-responder}

if ! reenter_in_private_netns WEBFIND_DEMO_NETNS sh "$0" "$@"; then
    echo "The demo needs a private network namespace (unshare -n), which this system does not allow." >&2
    exit 1
fi
loopback_multicast || exit 1

work=$(mktemp -d)
pids=""
trap 'kill $pids 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT

# device NAME ARGS...: a simulated device, started in the background.
device() {
    log="$work/$1.log"
    shift
    "$RESPONDER" --lifetime 10 "$@" > "$log" 2>&1 &
    pids="$pids $!"
}
device camera --from 127.0.0.42 --name "Living room camera" --url "http://127.0.0.42:8080/live"
device printer --from 127.0.0.7 --name "Office printer" --url "https://127.0.0.7/"
device router --from 127.0.0.200 --name "Router" --delay 50

# Each device says when it listens.
for log in "$work"/*.log; do
    wait_listening "$log" || { echo "a simulated device did not start: $(cat "$log")" >&2; exit 1; }
done

echo "\$ webfind --no-open        # three simulated devices in a private network namespace"
"$WEBFIND" --no-open
echo
echo "\$ webfind --json"
"$WEBFIND" --json
