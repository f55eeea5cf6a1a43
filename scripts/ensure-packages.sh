#!/bin/sh
# Installs the Debian packages named as arguments that are missing. As root it
# installs them; otherwise it prints the exact command to run and fails.
set -e
# --i386: the packages need Debian's i386 architecture (wine32).
if [ "$1" = "--i386" ]; then
    shift
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        if [ "$(id -u)" -ne 0 ]; then
            echo "Enable the i386 architecture first: sudo dpkg --add-architecture i386 && sudo apt-get update"
            exit 1
        fi
        dpkg --add-architecture i386
    fi
fi
missing=""
for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $pkg"
    fi
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" -eq 0 ]; then
    echo "Installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    # Two installs at once (make targets run side by side) take turns
    # instead of failing on apt's lock.
    exec 9> /var/lib/apt/webfind-install.lock
    flock 9
    # A mirror in the middle of a sync serves lists that do not match
    # their index for a while: tried again, and then installed with what
    # came (a package that is truly missing still fails the install).
    for try in 1 2 3; do
        apt-get update -q && break
        [ "$try" -lt 3 ] && sleep 20
    done
    # shellcheck disable=SC2086  # one word a package
    apt-get install -y -q $missing
else
    echo "Missing packages. Install them with:"
    echo "  sudo apt-get install -y$missing"
    exit 1
fi
