#!/bin/sh
# A look at webfind working, without touching the real network: three
# simulated devices in a private network namespace, and webfind listing them.
set -e
cd "$(dirname "$0")/.."
WEBFIND=${WEBFIND:-build/webfind}
RESPONDER=${RESPONDER:-build/webfind-responder}

if [ -z "$WEBFIND_DEMO_INSIDE" ]; then
    # As root a plain network namespace; otherwise one inside a user namespace.
    if unshare -n true 2>/dev/null; then
        exec unshare -n env WEBFIND_DEMO_INSIDE=1 sh "$0"
    elif unshare -rn true 2>/dev/null; then
        exec unshare -rn env WEBFIND_DEMO_INSIDE=1 sh "$0"
    fi
    echo "The demo needs a private network namespace (unshare -n), which this system does not allow." >&2
    exit 1
fi

ip link set lo up
ip link set lo multicast on
ip route add 224.0.0.0/4 dev lo

"$RESPONDER" --lifetime 10 --from 127.0.0.42 --name "Living room camera" --url "http://127.0.0.42:8080/live" > /dev/null &
"$RESPONDER" --lifetime 10 --from 127.0.0.7 --name "Office printer" --url "https://127.0.0.7/" > /dev/null &
"$RESPONDER" --lifetime 10 --from 127.0.0.200 --name "Router" --delay 50 > /dev/null &
sleep 0.3

echo "\$ webfind --no-open        # three simulated devices in a private network namespace"
"$WEBFIND" --no-open
echo
echo "\$ webfind --json"
"$WEBFIND" --json
kill $(jobs -p) 2>/dev/null || true
wait 2>/dev/null || true
