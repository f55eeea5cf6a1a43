#!/bin/bash
# Two separate links, each to a namespace of its own with one device:
#   va1 10.1.0.1 <-> vb1 10.1.0.2 (device "One"), routing's choice
#   va2 10.2.0.1 <-> vb2 10.2.0.2 (device "Two")
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up no-route
device_behind_link 1 --name Device1
device_behind_link 2 --name Device2
ip route add 224.0.0.0/4 dev va1
device_ready 1
device_ready 2
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
pass
