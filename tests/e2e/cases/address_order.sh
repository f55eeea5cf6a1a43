#!/bin/bash
# Devices are listed and opened in address order, byte by byte, whatever
# order they answered in.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up
device d100 --from 127.0.0.100 --name "Hundred"
device d3 --from 127.0.0.3 --name "Three"
device d1 --from 127.1.0.1 --name "Far" --url "https://127.1.0.1:8443/ui"
device d20 --from 127.0.0.20 --name "Twenty"
run_webfind
expect_status 0
expect_out 'Name:Three URL:http://127.0.0.3/\nName:Twenty URL:http://127.0.0.20/\nName:Hundred URL:http://127.0.0.100/\nName:Far URL:https://127.1.0.1:8443/ui\n'
expect_opened http://127.0.0.3/ http://127.0.0.20/ http://127.0.0.100/ https://127.1.0.1:8443/ui
pass
