#!/bin/bash
# BROWSER chooses the browser: its commands are tried in turn, "%s" stands
# for the URL, and no shell ever sees the URL; without it xdg-open opens.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "Windows opens URLs through its shell, not BROWSER"
network_up
device printer --from 127.0.0.5 --name "Printer" --url 'http://127.0.0.5/a;b&c=$(id)'
cat > "$WORK/bin/mybrowser" <<SCRIPT
#!/bin/sh
for word in "\$@"; do printf '%s|' "\$word"; done >> "$WORK/browsed"
echo >> "$WORK/browsed"
SCRIPT
chmod +x "$WORK/bin/mybrowser"

RUN_ENV+=(BROWSER="no-such-browser %s:mybrowser --new-window --url=%s:xdg-open")
run_webfind
expect_status 0
openers_done
[ "$(cat "$WORK/browsed")" = '--new-window|--url=http://127.0.0.5/a;b&c=$(id)|' ] ||
    fail "the browser got: $(cat "$WORK/browsed")"
expect_opened  # xdg-open was not needed

RUN_ENV+=(BROWSER="mybrowser")
: > "$WORK/browsed"
run_webfind
openers_done
[ "$(cat "$WORK/browsed")" = 'http://127.0.0.5/a;b&c=$(id)|' ] || fail "without %s: $(cat "$WORK/browsed")"
pass
