#!/bin/bash
# --metrics replaces only a file of its own: a FIFO, a link (to /dev/null,
# to standard output) and a directory are refused before the watch starts,
# with one line naming what they are and status 2, and left as they were.
# /dev/null itself is never named: the link to it lives in the case's own
# folder, and /dev/null is checked to be the null device afterwards.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../lib.sh"

under_wine && skip "FIFOs and links are POSIX's; the Windows build refuses devices and folders by their own rule"
network_up
mkfifo "$WORK/fifo"
ln -s /dev/null "$WORK/null-link"
ln -s /proc/self/fd/1 "$WORK/stdout-link"
mkdir "$WORK/folder"
for target in fifo null-link stdout-link folder; do
    run_webfind --watch=1 --duration=2 --metrics "$WORK/$target"
    expect_status 2
    [ "$(wc -l < "$ERR")" -eq 1 ] || fail "$target: not one line: $(cat "$ERR")"
    grep -q "^webfind: --metrics: $WORK/$target is a" "$ERR" || fail "$target: $(cat "$ERR")"
    [ -s "$OUT" ] && fail "$target: the watch started: $(cat "$OUT")"
done
[ -p "$WORK/fifo" ] || fail "the FIFO was replaced"
[ -L "$WORK/null-link" ] && [ -L "$WORK/stdout-link" ] || fail "a link was replaced"
[ -d "$WORK/folder" ] && [ -z "$(ls -A "$WORK/folder")" ] || fail "the folder was changed"
[ -c /dev/null ] || fail "/dev/null is no longer a character device"
for left in "$WORK"/fifo.* "$WORK"/*-link.* "$WORK"/folder.*; do
    [ -e "$left" ] && fail "a file was left beside them: $left"
done
pass
