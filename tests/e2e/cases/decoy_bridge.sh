#!/bin/bash
# The multicast route points at a container bridge while the device sits
# behind another interface: nothing is found, and -v names the bridge and the
# interface that was not probed; -a finds the device.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up no-route
device_behind_link 1 --name "Camera"
ip link add decoy0 type bridge || skip "cannot make a bridge here"
ip addr add 10.9.0.1/24 dev decoy0
ip link set decoy0 up
ip link set decoy0 multicast on
ip route add 224.0.0.0/4 dev decoy0
device_ready 1

run_webfind -n -v
expect_status 0
expect_out ''
grep -q 'these interfaces were not probed: va1 (10.1.0.1)' "$ERR" || fail "the other interface was not named: $(cat "$ERR")"
grep -q 'webfind -i va1, or webfind -a' "$ERR" || fail "no next step: $(cat "$ERR")"
# The kind comes from sysfs, which must show this namespace's interfaces.
if ! under_wine && [ -e /sys/class/net/decoy0 ]; then
    grep -q 'The probe left through decoy0 (10.9.0.1), a software bridge' "$ERR" ||
        fail "the bridge was not named: $(cat "$ERR")"
fi

run_webfind -n -a
expect_status 0
expect_out 'Name:Camera URL:http://10.1.0.2/\n'
pass
