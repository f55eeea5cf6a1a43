#!/bin/bash
# A watch's page: opened once as the watch starts, and kept current. Read
# while the watch goes on, after a device has gone, it no longer lists that
# device (which shows under "Gone", as text) and still reloads itself; the
# names from the network are escaped in it. When the watch ends, the page
# says so and reloads no more.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "the page's folder and its opening are Windows' own; the page itself is the same"
network_up
device going --from 127.0.0.41 --name "Goes away" --lifetime 2
device hostile --from 127.0.0.42 --name '<script>alert(1)</script> & "quotes"' --url 'http://127.0.0.42/"><script>x</script>'
device plain --from 127.0.0.43 --name "Printer"

env "${RUN_ENV[@]}" "$WEBFIND" --watch=1 --duration=8 --page > "$OUT" 2> "$ERR" &
watcher=$!
watchdog "$watcher" 30
wait_for "$ERR" "opened the watch's page: file://"
location=$(sed -n "s/^webfind: opened the watch's page: //p" "$ERR")
page=${location#file://}
[ -f "$page" ] || fail "no page at $page: $(cat "$ERR")"

# The device that goes: down on standard output, then out of the page.
wait_for "$OUT" " down 127\.0\.0\.41 "
for _ in $(seq 100); do
    grep -q '>127.0.0.41</td><td data-label="Last seen">' "$page" && break
    sleep 0.05
done
cp "$page" "$WORK/during.html"
grep -q '<h2>Gone</h2>' "$WORK/during.html" || fail "no gone section: $(cat "$WORK/during.html")"
grep -q '<td data-label="Name">Goes away</td><td class="address" data-label="Address">127.0.0.41</td><td data-label="Last seen">' \
    "$WORK/during.html" || fail "the device that went is not under Gone: $(cat "$WORK/during.html")"
grep -q 'href="http://127.0.0.41/"' "$WORK/during.html" && fail "the device that went is still linked"
grep -q '<meta http-equiv="refresh" content="1">' "$WORK/during.html" || fail "the page no longer reloads itself"
grep -q '<h1>2 devices up</h1>' "$WORK/during.html" || fail "not the devices up: $(grep '<h1>' "$WORK/during.html")"
grep -q '<a href="http://127.0.0.43/" rel="noopener noreferrer">http://127.0.0.43/</a>' "$WORK/during.html" ||
    fail "the printer is not linked"
# The hostile name and URL: text, never markup.
grep -qF '&lt;script&gt;alert(1)&lt;/script&gt; &amp; &quot;quotes&quot;' "$WORK/during.html" || fail "the name is not escaped"
grep -qF '<span class="unsafe">http://127.0.0.42/&quot;&gt;&lt;script&gt;x&lt;/script&gt;</span>' "$WORK/during.html" ||
    fail "the unsafe URL is not shown as text"
[ "$(grep -c '<script' "$WORK/during.html")" -eq 0 ] || fail "markup from the network reached the page"

wait "$watcher"
STATUS=$?
expect_status 0
grep -q 'The watch ended at .*; this page no longer changes.' "$page" || fail "the last page does not say the watch ended"
grep -q 'http-equiv="refresh"' "$page" && fail "the last page still reloads itself"
expect_opened "$location"
[ "$(find "$WORK/runtime/webfind" -type f | wc -l)" -eq 1 ] || fail "more than one file: $(ls -a "$WORK/runtime/webfind")"
pass
