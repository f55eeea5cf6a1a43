#!/bin/bash
# --json: one array in address order, with JSON escaping and U+FFFD for
# bytes that are not UTF-8.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up
device a --from 127.0.0.30 --name $'Quote" \\ \x01 \xff'
device b --from 127.0.0.4 --name "Plain"
run_webfind --json
expect_status 0
expect_out '[\n  {\n    "address": "127.0.0.4",\n    "name": "Plain",\n    "url": "http://127.0.0.4/",\n    "mac": null,\n    "vendor": null\n  },\n  {\n    "address": "127.0.0.30",\n    "name": "Quote\\" \\\\ \\u0001 \357\277\275",\n    "url": "http://127.0.0.30/",\n    "mac": null,\n    "vendor": null\n  }\n]\n'
expect_opened
pass
