#!/bin/bash
# More than 32 devices: one private page that lists them all is opened
# instead of a storm of tabs; --page asks for it with a few; the listing on
# standard output is the same either way.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up
device crowd --from 127.0.2.1 --count 40 --name "Device {addr}"

if under_wine; then
    # Windows opens the page in the user's temp folder by its association,
    # which a desktop with a browser has and a fresh Wine prefix lacks.
    "$WINELOADER" reg add 'HKCR\.html' /ve /d htmlfile /f > "$WORK/reg.log" 2>&1 < /dev/null &&
        "$WINELOADER" reg add 'HKCR\htmlfile\shell\open\command' /ve /d 'winebrowser.exe -nohome "%1"' /f \
            >> "$WORK/reg.log" 2>&1 < /dev/null || fail "cannot register .html: $(cat "$WORK/reg.log")"
    run_webfind
    expect_status 0
    [ "$(grep -c '^Name:Device ' "$OUT")" -eq 40 ] || fail "listed $(grep -c '^Name:' "$OUT") of 40"
    openers_done
    [ "$(wc -l < "$WORK/opened")" -eq 1 ] || fail "opened: $(cat "$WORK/opened")"
    page=$(sed 's|^file://||' "$WORK/opened")
    case $page in */Temp/webfind/webfind-*.html) ;; *) fail "the page is not in the temp folder: $page" ;; esac
    [ "$(grep -c '^<tr><td' "$page")" -eq 40 ] || fail "the page holds $(grep -c '^<tr><td' "$page") rows"
    pass
fi

run_webfind
expect_status 0
[ "$(grep -c '^Name:Device ' "$OUT")" -eq 40 ] || fail "listed $(grep -c '^Name:' "$OUT") of 40"
expect_opened "$(head -1 "$WORK/opened")"
url=$(cat "$WORK/opened")
case $url in
"file://$WORK/runtime/webfind/webfind-"*.html) ;;
*) fail "opened '$url', not one page in the runtime folder" ;;
esac
page=${url#file://}
[ "$(grep -c '^<tr><td' "$page")" -eq 40 ] || fail "the page holds $(grep -c '^<tr><td' "$page") rows"
[ "$(stat -c %a "$page")" = 600 ] || fail "the page is mode $(stat -c %a "$page")"
[ "$(stat -c %a "$WORK/runtime/webfind")" = 700 ] || fail "its folder is mode $(stat -c %a "$WORK/runtime/webfind")"
grep -q "^webfind: opened one page listing 40 devices: $url\$" "$ERR" || fail "no note of the page: $(cat "$ERR")"

# --page with a few, and old pages of ours go; others' files stay.
: > "$WORK/opened"
touch -d '2 days ago' "$WORK/runtime/webfind/webfind-old.html"
touch -d '2 days ago' "$WORK/runtime/webfind/notes.txt"
touch "$WORK/runtime/webfind/webfind-recent.html"
run_webfind --page "127.0.2.40"
expect_status 0
[ "$(wc -l < "$OUT")" -eq 1 ] || fail "patterns: $(cat "$OUT")"
[ "$(wc -l < "$WORK/opened")" -eq 1 ] || fail "--page opened: $(cat "$WORK/opened")"
[ -e "$WORK/runtime/webfind/webfind-old.html" ] && fail "a page older than a day was kept"
[ -e "$WORK/runtime/webfind/notes.txt" ] || fail "a file that is not a page was removed"
[ -e "$WORK/runtime/webfind/webfind-recent.html" ] || fail "a recent page was removed"
[ -e "$page" ] || fail "the first page is gone"

# A planted link where the folder should be is refused, and the page goes to
# a private temporary folder: still one page, never a storm of tabs.
: > "$WORK/opened"
mkdir -p "$WORK/elsewhere" "$WORK/runtime2" "$WORK/tmp"
ln -s "$WORK/elsewhere" "$WORK/runtime2/webfind"
RUN_ENV+=(XDG_RUNTIME_DIR="$WORK/runtime2" XDG_CACHE_HOME="$WORK/no-home/.cache" HOME="$WORK/no-home" TMPDIR="$WORK/tmp")
run_webfind --page
expect_status 0
grep -q 'it went to a private temporary folder' "$ERR" || fail "no note of the other folder: $(cat "$ERR")"
[ -z "$(ls "$WORK/elsewhere")" ] || fail "a page was written through the link"
expect_opened "$(head -1 "$WORK/opened")"
case $(cat "$WORK/opened") in
"file://$WORK/tmp/webfind-"*.html) ;;
*) fail "opened '$(cat "$WORK/opened")', not one page in a private temporary folder" ;;
esac
[ -e "$WORK/no-home" ] && fail "folders were made under a home that is not there"

# No folder at all takes it: nothing is opened, and the listing is whole.
: > "$WORK/opened"
chmod 0500 "$WORK/tmp"
RUN_ENV+=(TMPDIR="$WORK/tmp/none")
run_webfind --page
expect_status 0
[ "$(grep -c '^Name:Device ' "$OUT")" -eq 40 ] || fail "listed $(grep -c '^Name:' "$OUT") of 40"
grep -q 'could not write the page of devices (.*); nothing is opened' "$ERR" || fail "no note: $(cat "$ERR")"
expect_opened
pass
