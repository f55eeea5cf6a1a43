#!/bin/bash
# No descriptor of webfind's reaches the programs it starts: the opener sees
# no socket, and a browser still running from one run (which would hold the
# socket it inherited) does not keep the next run from its --port.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "the descriptors checked here are POSIX's"
network_up
device d --from 127.0.0.4 --name "Printer"
# An opener that notes its descriptors, then leaves a "browser" behind that
# keeps every descriptor it was given.
cat > "$WORK/bin/lingering" <<OPENER
#!/bin/sh
ls -l /proc/\$\$/fd > "$WORK/fds" 2>&1
sleep 30 &
echo "\$!" > "$WORK/browser.pid"
OPENER
chmod +x "$WORK/bin/lingering"
RUN_ENV+=(BROWSER=lingering)
run_webfind --port 13576
expect_status 0
expect_out 'Name:Printer URL:http://127.0.0.4/\n'
for _ in $(seq 100); do [ -s "$WORK/browser.pid" ] && break; sleep 0.05; done
PIDS+=("$(cat "$WORK/browser.pid")")
grep -q 'socket:' "$WORK/fds" && fail "the opener got a socket: $(cat "$WORK/fds")"
# The "browser" still runs; the next run binds the same port.
kill -0 "$(cat "$WORK/browser.pid")" || fail "the lingering browser is gone already"
run_webfind -n --port 13576
expect_status 0
expect_out 'Name:Printer URL:http://127.0.0.4/\n'
pass
