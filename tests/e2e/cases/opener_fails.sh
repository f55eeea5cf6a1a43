#!/bin/bash
# An entry of BROWSER that cannot be started, or that fails, is said on
# standard error, and the next way gets the URL.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "Windows opens URLs through its shell, not BROWSER"
network_up
device d --from 127.0.0.4 --name "Printer"
printf '#!/bin/sh\nexit 1\n' > "$WORK/bin/fail"
chmod +x "$WORK/bin/fail"
RUN_ENV+=(BROWSER="no-such-browser:fail:xdg-open")
run_webfind
expect_status 0
expect_out 'Name:Printer URL:http://127.0.0.4/\n'
expect_opened http://127.0.0.4/
grep -q '^webfind: http://127.0.0.4/: no-such-browser could not be started (No such file or directory); the next way was tried$' "$ERR" ||
    fail "the missing browser was not named: $(cat "$ERR")"
grep -q '^webfind: http://127.0.0.4/: fail could not open it (exit status 1); the next way was tried$' "$ERR" ||
    fail "the failing browser was not named: $(cat "$ERR")"

# When every way fails, that is said too.
: > "$WORK/opened"
RUN_ENV+=(BROWSER="fail")
printf '#!/bin/sh\nexit 3\n' > "$WORK/bin/xdg-open"
run_webfind
expect_status 0
grep -q 'xdg-open could not open it (exit status 3); nothing else to open it with' "$ERR" ||
    fail "the last failure was not said: $(cat "$ERR")"
pass
