#!/bin/sh
# The Windows installer under Wine, in a private network namespace and a
# fresh prefix: msiexec installs it silently (the files, the Start-menu
# entries, the folder on PATH, the service not started), "sc start" runs the
# announcer as a service that the Linux webfind finds, "sc stop" ends it
# within a second, the simulated device answers, an upgrade keeps the
# service's options, and msiexec /x leaves no file, service or registry key
# of ours.
#   tests/windows/installer.sh ARCH LINUX_WEBFIND
# It builds two installers of the build-windows-ARCH programs, the second
# with a higher version. Exit 77: skipped.
set -u
arch=$1 webfind=$2
here=$(cd "$(dirname "$0")" && pwd)
command -v wixl > /dev/null || { echo "SKIP: wixl is not installed (apt-get install wixl)"; exit 77; }
# shellcheck source=scripts/lib/netns.sh
. "$here/../../scripts/lib/netns.sh"
# shellcheck source=scripts/lib/wine.sh
. "$here/../../scripts/lib/wine.sh"
if ! reenter_in_private_netns WEBFIND_INSTALLER_NETNS sh "$0" "$@"; then
    echo "SKIP: no private network namespace can be made here (unshare -n), and Wine runs only inside one"
    exit 77
fi
loopback_multicast || exit 1
fail() { echo "FAIL [installer $arch]: $*"; exit 1; }
work=$(mktemp -d)
for version in 0.0.1 0.0.2; do
    cmake -DSOURCE_DIR="$here/../.." -DARCHES="$arch" -DVERSION=$version -DOUTPUT="$work" \
        -P "$here/../../cmake/WindowsMsi.cmake" > "$work/wixl.log" 2>&1 || fail "cannot build the installer: $(cat "$work/wixl.log")"
done
msi=$(ls "$work"/webfind-0.0.1-*.msi) newer=$(ls "$work"/webfind-0.0.2-*.msi)
wine_for "$arch" "$work/prefix" || fail "no Wine for $arch"
trap '"$WINESERVER" -k 2> /dev/null; rm -rf "$work"' EXIT
wine_prefix_ready > /dev/null || fail "cannot create a Wine prefix"
wineserver_here || fail "no wineserver inside this namespace; refusing to run"
# A Windows program's output without its carriage returns, and its status.
w() {
    "$WINELOADER" "$@" < /dev/null > "$work/out" 2> /dev/null
    _status=$?
    tr -d '\r' < "$work/out"
    return $_status
}
# A Linux path as Windows programs in the prefix see it (drive Z: is /).
winepath_of() { printf 'Z:%s' "$1" | tr / '\\'; }
files="$work/prefix/drive_c/Program Files/webfind"
# The machine's Start menu; Wine's msiexec puts an all-users install's
# entries in the installing user's.
menus() { find "$work/prefix/drive_c" -path '*Start Menu/Programs/webfind' 2> /dev/null; }

w msiexec /i "$(winepath_of "$msi")" /qn || fail "msiexec /i failed"
for f in webfind.exe webfind-announce.exe webfind-setup.exe webfind-responder.exe README-windows.txt; do
    [ -f "$files/$f" ] || fail "$f is not in $files: $(ls "$files" 2>&1)"
done
[ "$(find "$(menus)" -name '*.lnk' 2> /dev/null | wc -l)" -eq 2 ] || fail "not the two Start-menu entries: $(menus)"
w reg query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment' /v Path | grep -qi 'webfind' ||
    fail "the install folder is not on PATH"
w sc query webfind-announce | grep -q STOPPED || fail "the service is not installed, or not stopped: $(w sc query webfind-announce)"

w reg add 'HKLM\Software\webfind' /v AnnounceOptions /d '--name "Lab scope" -i lo' /f > /dev/null
# sc start failed once on a machine busy with other builds (what it said was
# not kept; Wine starting the program later than its Service Control Manager
# waits is the likely cause): asked again, up to three times.
for try in 1 2 3; do
    started=$(w sc start webfind-announce) && break
    w sc query webfind-announce | grep -q RUNNING && break
    [ "$try" -lt 3 ] || fail "sc start failed: $started"
    sleep 1
done
found=""
for _ in $(seq 50); do
    found=$("$webfind" -n -i lo 2> /dev/null)
    [ -n "$found" ] && break
    sleep 0.2
done
echo "$found" | grep -q '^Name:Lab scope URL:http://127\.0\.0\.1/$' || fail "the service was not found: '$found'"
# Each Wine program takes a while to start: the stop is timed beyond what
# two of them (sc stop, then one sc query) take.
start=$(date +%s%N)
w sc query webfind-announce > /dev/null
overhead=$((($(date +%s%N) - start) / 1000000 * 2))
start=$(date +%s%N)
w sc stop webfind-announce > /dev/null
for _ in $(seq 50); do w sc query webfind-announce | grep -q STOPPED && break; sleep 0.1; done
ms=$((($(date +%s%N) - start) / 1000000))
w sc query webfind-announce | grep -q STOPPED || fail "sc stop did not stop the service"
[ "$ms" -lt $((1000 + overhead)) ] || fail "the service took $ms ms to stop (Wine's own start-ups: $overhead ms)"
log=$(find "$work/prefix/drive_c" -path '*webfind/webfind-announce.log')
grep -q '^webfind-announce: stopped' "$log" 2> /dev/null || fail "the service's log says nothing of its stop: $log: $(cat "$log")"

# The simulated device, whose {addr} is the address it answers from. (Wine
# leaves out the source address an answer asks for, so --from is Windows'.)
"$WINELOADER" "$files/webfind-responder.exe" --lifetime 20 --name 'Device {addr}' \
    < /dev/null > "$work/device.log" 2>&1 &
device=$!
for _ in $(seq 100); do grep -q '^listening on' "$work/device.log" && break; sleep 0.1; done
found=$("$webfind" -n -i lo 2> /dev/null)
kill "$device" 2> /dev/null
[ "$found" = 'Name:Device 127.0.0.1 URL:http://127.0.0.1/' ] ||
    fail "the simulated device was not found: '$found'; it said: $(cat "$work/device.log")"

w msiexec /i "$(winepath_of "$newer")" /qn || fail "the upgrade failed"
w reg query 'HKLM\Software\webfind' /v AnnounceOptions | grep -q 'Lab scope' || fail "the upgrade lost the service's options"
w reg query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment' /v Path | grep -qi 'webfind' ||
    fail "the upgrade lost the folder on PATH"

w msiexec /x "$(winepath_of "$newer")" /qn || fail "msiexec /x failed"
[ ! -e "$files" ] || fail "files are left: $(ls -R "$files")"
[ -z "$(menus)" ] || fail "Start-menu entries are left: $(menus)"
w sc query webfind-announce | grep -q 'STATE' && fail "the service is left"
w reg query 'HKLM\Software\webfind' > /dev/null 2>&1 && fail "the registry key is left: $(w reg query 'HKLM\Software\webfind')"
w reg query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment' /v Path | grep -qi 'webfind' &&
    fail "the folder is left on PATH"
echo "PASS [installer $arch]"
