#!/bin/bash
# Ten well-behaved devices answer while 100,000 hostile datagrams arrive
# from forged addresses. The run must end on time, list every good device,
# open only safe URLs and at most 32 of them, and stay small.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up
device good --from 127.0.0.10 --count 10 --name "Good {addr}"
device flood --from 127.0.0.250 --hostile 100000 --probes 1
WRAPPER=(/usr/bin/time -f %M -o "$WORK/peak")
run_webfind
expect_status 0
for n in $(seq 10 19); do
    grep -qx "Name:Good 127.0.0.$n URL:http://127.0.0.$n/" "$OUT" || fail "good device 127.0.0.$n missing ($(wc -l < "$OUT") lines)"
done
openers_done
opened=$(wc -l < "$WORK/opened")
[ "$opened" -le 32 ] || fail "opened $opened URLs"
if LC_ALL=C grep -q '[[:cntrl:] "<>\\^`{|}]' "$WORK/opened"; then fail "opened an unsafe URL: $(LC_ALL=C grep '[[:cntrl:] "<>\\^`{|}]' "$WORK/opened" | head -1)"; fi
peak=$(tail -1 "$WORK/peak")
# A sanitizer build carries its own shadow memory, and under Wine the
# figure is Wine's; the bound is for the native tool.
[ -n "${WEBFIND_SANITIZED:-}" ] || under_wine || [ "$peak" -lt 65536 ] || fail "peak memory ${peak} KiB"
if LC_ALL=C grep -q $'\x1b' "$OUT"; then fail "an escape byte reached the terminal"; fi
echo "listed $(wc -l < "$OUT") devices, opened $opened URLs, peak ${peak} KiB, ${ELAPSED_MS} ms"
pass
