#!/bin/bash
# A device that dies is called down within 1.5 s at --watch=1, wherever in
# a round it dies; the device that stays is never called down. Each line of
# the watch is stamped as it arrives here, and each death when it happens.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up
device stays --from 127.0.0.40 --name "Stays"
for n in 1 2 3; do device "dies$n" --from "127.0.0.4$n" --name "Dies $n"; done
stamped=$WORK/stamped
env "${RUN_ENV[@]}" "${RUNNER[@]}" "$WEBFIND" --watch=1 --duration=10 2> "$ERR" |
    while IFS= read -r line; do echo "$(date +%s%3N) $line"; done > "$stamped" &
watcher=$!
wait_for "$stamped" ' up 127\.0\.0\.4' 4
# Deaths at three points of a round: near its start, its middle, its end.
for n in 1 2 3; do
    sleep "0.$((n * 3))3"
    kill "${PIDS[n]}"
    echo "$(date +%s%3N) $n" >> "$WORK/deaths"
done
wait "$watcher"
while read -r died n; do
    down=$(awk -v a="127.0.0.4$n" '$3 == "down" && $4 == a { print $1; exit }' "$stamped")
    [ -n "$down" ] || fail "device $n was never called down: $(cat "$stamped")"
    echo "device $n: down $((down - died)) ms after it died"
    [ $((down - died)) -le 1500 ] || fail "device $n was called down $((down - died)) ms after it died"
done < "$WORK/deaths"
grep -q 'down 127\.0\.0\.40 ' "$stamped" && fail "the device that stayed was called down: $(cat "$stamped")"
pass
