#!/bin/bash
# A listing that cannot be written is a failure, said in one line on
# standard error: to a full device, to a closed standard output, and in JSON.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

network_up
device d --from 127.0.0.4 --name "Printer"

# run_to TARGET ARGS...: runs the tool with standard output sent to TARGET
# ("closed" closes it).
run_to() {
    local target=$1
    shift
    if [ "$target" = closed ]; then
        env "${RUN_ENV[@]}" "${RUNNER[@]}" "$WEBFIND" "$@" >&- 2> "$ERR"
    else
        env "${RUN_ENV[@]}" "${RUNNER[@]}" "$WEBFIND" "$@" > "$target" 2> "$ERR"
    fi
    STATUS=$?
}

for args in "-n" "--json"; do
    for target in /dev/full closed; do
        # shellcheck disable=SC2086  # args is one option
        run_to "$target" $args
        [ "$STATUS" -eq 4 ] || fail "webfind $args to $target: exit status $STATUS, expected 4; stderr: $(cat "$ERR")"
        [ "$(wc -l < "$ERR")" -eq 1 ] || fail "webfind $args to $target: expected one stderr line: $(cat "$ERR")"
        grep -q '^webfind: could not write to standard output' "$ERR" || fail "webfind $args to $target: $(cat "$ERR")"
    done
done

# Written in full, the same run succeeds.
run_webfind -n
expect_status 0
expect_out 'Name:Printer URL:http://127.0.0.4/\n'
pass
