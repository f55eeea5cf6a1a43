#!/bin/sh
# The watch's systemd unit: systemd accepts it, and rates its exposure 2.0
# or lower ("OK"). systemd-analyze only reads the file; nothing is started,
# and the unit is never installed on this machine. Its program is the
# build's webfind, where the package's would be.
#   tests/service/check.sh WEBFIND
set -u
cd "$(dirname "$0")/../.." || exit 1
fail() { echo "FAIL [service]: $*"; exit 1; }
webfind=${1:?usage: check.sh WEBFIND}

command -v systemd-analyze > /dev/null || { echo "SKIP [service]: systemd-analyze is not installed (package systemd)"; exit 77; }
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
unit=$work/webfind-watch.service
sed "s|@WEBFIND_PROGRAM@|$webfind|" packaging/webfind-watch.service.in > "$unit"
grep -q '@[A-Z_]*@' "$unit" && fail "a placeholder is left: $(grep '@[A-Z_]*@' "$unit")"

# --man=no: the manual page is the package's, not installed here.
systemd-analyze verify --man=no "$unit" > "$work/verify" 2>&1 || fail "systemd-analyze verify: $(cat "$work/verify")"
[ -s "$work/verify" ] && fail "systemd-analyze verify has remarks: $(cat "$work/verify")"

systemd-analyze security --offline=true --no-pager "$unit" > "$work/security" 2>&1
level=$(sed -n 's/^→ Overall exposure level for webfind-watch.service: \([0-9.]*\) .*/\1/p' "$work/security")
[ -n "$level" ] || fail "no exposure level in: $(cat "$work/security")"
awk -v level="$level" 'BEGIN { exit !(level <= 2.0) }' || fail "exposure $level, above 2.0: $(grep '✗' "$work/security")"

# What the service runs is what the tool takes (read from its help: the
# tool itself would probe the network).
for option in $(sed -n 's/^ExecStart=[^ ]* //p' "$unit"); do
    case $option in
    --*) "$webfind" --help | grep -qE -- "${option%%=*}(\[|=| |$)" || fail "the service runs an option webfind does not know: $option" ;;
    esac
done
echo "PASS [service]: systemd accepts the unit; exposure $level"
