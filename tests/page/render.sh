#!/bin/bash
# The page of devices in a real browser: headless Chromium renders a page
# made from hostile device data, always inside a private network namespace
# (Chromium reaches out to the internet on its own otherwise). From the
# rendered DOM: every device is a row, every safe URL is a link to exactly
# that URL, the unsafe ones are not links, and no markup from the network
# became an element. With --screenshot DIR it also takes pictures of a page
# of a few devices, wide and narrow, light and dark.
#   PAGE_FIXTURE=build/page_fixture tests/page/render.sh [--screenshot DIR]
set -u
cd "$(dirname "$0")/../.." || exit 1
# shellcheck source=scripts/lib/netns.sh
. scripts/lib/netns.sh
: "${PAGE_FIXTURE:?set PAGE_FIXTURE to the page_fixture program}"
browser=$(command -v chromium || command -v chromium-browser) ||
    { echo "SKIP [page in a browser]: Chromium is not installed (Debian package chromium)"; exit 77; }
if ! reenter_in_private_netns WEBFIND_PAGE_NETNS bash "$0" "$@"; then
    echo "SKIP [page in a browser]: no private network namespace can be made, and Chromium runs only inside one"
    exit 77
fi
ip link set lo up 2> /dev/null
fail() { echo "FAIL [page in a browser]: $*"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The flags that keep a headless Chromium from its own background traffic.
# HOME too: Chromium keeps certificate stores and crash reports there, whatever
# its profile folder.
chrome() {
    HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" "$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
        --disable-component-update --disable-sync --user-data-dir="$work/profile" "$@" 2> "$work/chromium.log"
}

"$PAGE_FIXTURE" hostile "$work/hostile.html" "$work/links" || fail "the fixture failed"
chrome --dump-dom "file://$work/hostile.html" > "$work/dom" || fail "Chromium failed: $(tail -5 "$work/chromium.log")"
[ -s "$work/dom" ] || fail "Chromium rendered nothing: $(tail -5 "$work/chromium.log")"

# Every element, by name and number: only the page's own.
grep -o '<[a-zA-Z][a-zA-Z0-9]*' "$work/dom" | sort | uniq -c | awk '{ print $2, $1 }' > "$work/elements"
cat > "$work/expected-elements" <<ELEMENTS
<a 7
<body 1
<h1 1
<head 1
<html 1
<meta 5
<p 1
<span 5
<style 1
<table 1
<tbody 1
<td 60
<th 5
<thead 1
<title 1
<tr 13
ELEMENTS
diff "$work/expected-elements" "$work/elements" > "$work/element-diff" ||
    fail "elements differ from the page's own (< expected, > rendered): $(cat "$work/element-diff")"

# Each safe URL is a link to exactly itself, in address order.
grep -o '<a href="[^"]*"' "$work/dom" | sed 's/^<a href="//; s/"$//; s/&amp;/\&/g; s/&quot;/"/g; s/&lt;/</g; s/&gt;/>/g' > "$work/hrefs"
cmp -s "$work/links" "$work/hrefs" || fail "links differ: expected [$(tr '\n' ' ' < "$work/links")] got [$(tr '\n' ' ' < "$work/hrefs")]"
# The hostile names are there as text.
grep -qF '&lt;script&gt;alert(1)&lt;/script&gt;' "$work/dom" || fail "the script name is not shown as text"
grep -qF '&lt;/td&gt;&lt;/tr&gt;&lt;/table&gt;&lt;h1&gt;owned&lt;/h1&gt;' "$work/dom" || fail "the markup name is not shown as text"
grep -qF 'javascript:alert(1)' "$work/dom" || fail "the unsafe URL is not shown"
grep -q $'\xef\xbf\xbd\xef\xbf\xbd caf\xc3\xa9' "$work/dom" || fail "bytes that are not UTF-8 are not U+FFFD"
grep -qF '\x1B[2J\x07 bell\x09and tab' "$work/dom" || fail "control bytes are not shown as in the listing"

# A watch's page: a strip of the last hour for each device, up or gone,
# drawn as SVG by the page's own style sheet, with the hour in words.
"$PAGE_FIXTURE" watch "$work/watch.html" || fail "the fixture failed on the watch's page"
chrome --dump-dom "file://$work/watch.html" > "$work/watch-dom" || fail "Chromium failed: $(tail -5 "$work/chromium.log")"
[ "$(grep -o '<svg class="strip"' "$work/watch-dom" | wc -l)" -eq 7 ] ||
    fail "not a strip for each of the 5 devices up and 2 gone: $(grep -o '<svg[^>]*>' "$work/watch-dom")"
grep -qF 'aria-label="last hour: up 100%"><title>last hour: up 100%</title><rect class="up" x="0" width="60" height="1"></rect></svg>' "$work/watch-dom" ||
    fail "the device up all hour is not one green bar: $(grep -o '<svg.*</svg>' "$work/watch-dom" | head -1)"
grep -qF 'last hour: up 50%, not watched 50%' "$work/watch-dom" || fail "no strip of a device watched for half the hour"
grep -qF 'up 3 d 2 h' "$work/watch-dom" || fail "how long a device has been up is not shown"
grep -qF '&lt;b&gt;Hostile&lt;/b&gt; tablet' "$work/watch-dom" || fail "a gone device's name is not text"
grep -q '<script\|<foreignObject\|<image' "$work/watch-dom" && fail "the strips brought in more than rectangles"

if [ "${1:-}" = --screenshot ]; then
    out=${2:?usage: render.sh --screenshot DIR}
    mkdir -p "$out"
    "$PAGE_FIXTURE" sample "$work/sample.html"
    chrome --hide-scrollbars --window-size=900,520 --screenshot="$out/page.png" "file://$work/sample.html"
    chrome --hide-scrollbars --window-size=390,760 --screenshot="$out/page-phone.png" "file://$work/sample.html"
    chrome --hide-scrollbars --force-dark-mode --blink-settings=preferredColorScheme=0 --window-size=900,520 \
        --screenshot="$out/page-dark.png" "file://$work/sample.html"
    chrome --hide-scrollbars --window-size=1100,640 --screenshot="$out/page-watch.png" "file://$work/watch.html"
    echo "screenshots in $out"
fi
echo "PASS [page in a browser]: 12 hostile devices, 12 rows, 7 links to exactly their URLs, no element from the network"
