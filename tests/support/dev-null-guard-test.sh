#!/bin/sh
# The guard itself: it passes a test through, and fails one that leaves
# /dev/null a regular file. The broken /dev/null is made in a fresh /dev of a
# private mount namespace, never on the machine's own /dev.
set -u
guard="$(cd "$(dirname "$0")" && pwd)/dev-null-guard.sh"
fail() { echo "FAIL [dev_null_guard]: $*"; exit 1; }
unshare -m true 2> /dev/null || { echo "SKIP [dev_null_guard]: no private mount namespace can be made here (unshare -m; run as root)"; exit 77; }

# shellcheck disable=SC2016  # expanded by the inner shell
out=$(unshare -m sh -c '
    guard=$1
    mount -t tmpfs -o mode=0755 tmpfs /dev || exit 90
    mknod -m 0666 /dev/null c 1 3 || exit 91
    sh "$guard" keeps-status sh -c "exit 77"; echo "status $?"
    sh "$guard" intact true; echo "status $?"
    sh "$guard" breaks-it sh -c "rm /dev/null && : > /dev/null"; echo "status $?"
    sh "$guard" after-the-run; echo "status $?"
' guard-test "$guard" 2>&1)
case $out in *"status 9"[01]*) fail "cannot make a fresh /dev: $out" ;; esac
printf '%s\n' "$out" | head -n 3 | grep -q "^FAIL \[breaks-it\]: /dev/null is no longer the null device" || fail "a broken /dev/null went unnoticed: $out"
printf '%s\n' "$out" | head -n 2 | tr '\n' ' ' | grep -qx "status 77 status 0 " || fail "a test's own status changed: $out"
[ "$(printf '%s\n' "$out" | grep -c '^status 1$')" -eq 2 ] || fail "the broken device did not fail both checks: $out"
[ -c /dev/null ] || fail "the machine's /dev/null changed"
echo "PASS [dev_null_guard]"
