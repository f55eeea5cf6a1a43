#!/bin/sh
# Runs one test, then checks that it left the machine's /dev/null the null
# character device (major 1, minor 3). A program that replaces it with a
# regular file (a shell writing its dump file there, say) breaks apt, spawned
# programs and much else on the machine, far from the test that did it.
#   dev-null-guard.sh NAME [COMMAND [ARG]...]
# Ends with the command's status, or 1 when /dev/null was changed. With no
# command, only the check (the last test of a run).
name=${1:?usage: dev-null-guard.sh NAME [COMMAND [ARG]...]}
shift
status=0
if [ "$#" -gt 0 ]; then
    "$@"
    status=$?
fi
if [ ! -c /dev/null ] || [ "$(stat -c '%t:%T' /dev/null)" != 1:3 ]; then
    echo "FAIL [$name]: /dev/null is no longer the null device after this test (or one that ran beside it): $(ls -l /dev/null)"
    echo "Restore it as root: rm -f /dev/null && mknod -m 0666 /dev/null c 1 3"
    exit 1
fi
exit "$status"
