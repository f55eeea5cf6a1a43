#!/bin/bash
# 65,536 sources each answering with a 1,400-byte name (about 90 MB of
# names): --json stays under 96 MiB of resident memory and runs within a
# 256 MiB address space, lists what fits, and says how many it left out.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "the bound is the native tool's; under Wine the figure is Wine's"
[ -n "${WEBFIND_SANITIZED:-}" ] && skip "a sanitizer build carries memory of its own"
network_up
name=$(head -c 1400 /dev/zero | tr '\0' N)
device flood --from 127.1.0.1 --count 65536 --name "$name {addr}"
WRAPPER=(/usr/bin/time -f %M -o "$WORK/peak" bash -c 'ulimit -v 262144 && exec "$@"' bounded)
run_webfind --json
expect_status 0
listed=$(grep -c '"address"' "$OUT")
[ "$listed" -gt 1000 ] || fail "listed only $listed devices"
left=$(sed -n 's/^webfind: \([0-9]*\) more devices answered than a run keeps.*/\1/p' "$ERR")
[ -n "$left" ] || fail "the devices left out were not counted: $(cat "$ERR")"
[ "$((listed + left))" -le 65536 ] || fail "$listed listed and $left left out of 65,536"
peak=$(tail -1 "$WORK/peak")
[ "$peak" -lt $((96 * 1024)) ] || fail "peak memory ${peak} KiB"
echo "listed $listed, left out $left, peak ${peak} KiB"
pass
