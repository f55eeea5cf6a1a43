#!/bin/sh
# A service of the packages (webfind-watch, webfind-announce): systemd
# accepts its unit, and rates its exposure at most MOST (default 2.0, "OK").
# systemd-analyze only reads the file; nothing is started, and the unit is
# never installed on this machine. Its program is the build's, where the
# package's would be, and every option it runs is one the program takes.
#   tests/service/check.sh UNIT PLACEHOLDER PROGRAM [MOST]
#   (tests/service/check.sh webfind-watch WEBFIND_PROGRAM build/webfind)
set -u
cd "$(dirname "$0")/../.." || exit 1
fail() { echo "FAIL [service]: $*"; exit 1; }
name=${1:?usage: check.sh UNIT PLACEHOLDER PROGRAM}
placeholder=${2:?usage: check.sh UNIT PLACEHOLDER PROGRAM}
program=${3:?usage: check.sh UNIT PLACEHOLDER PROGRAM}
most=${4:-2.0}

command -v systemd-analyze > /dev/null || { echo "SKIP [service]: systemd-analyze is not installed (package systemd)"; exit 77; }
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
unit=$work/$name.service
sed "s|@$placeholder@|$program|" "packaging/$name.service.in" > "$unit"
grep -q '@[A-Z_]*@' "$unit" && fail "a placeholder is left: $(grep '@[A-Z_]*@' "$unit")"

# --man=no: the manual page is the package's, not installed here.
systemd-analyze verify --man=no "$unit" > "$work/verify" 2>&1 || fail "systemd-analyze verify: $(cat "$work/verify")"
[ -s "$work/verify" ] && fail "systemd-analyze verify has remarks: $(cat "$work/verify")"

systemd-analyze security --offline=true --no-pager "$unit" > "$work/security" 2>&1
level=$(sed -n "s/^→ Overall exposure level for $name.service: \([0-9.]*\) .*/\1/p" "$work/security")
[ -n "$level" ] || fail "no exposure level in: $(cat "$work/security")"
awk -v level="$level" -v most="$most" 'BEGIN { exit !(level <= most) }' ||
    fail "exposure $level, above $most: $(grep '✗' "$work/security")"

# What the service runs is what the program takes (read from its help: the
# program itself would touch the network).
for option in $(sed -n 's/^ExecStart=[^ ]* //p' "$unit"); do
    case $option in
    --*) "$program" --help | grep -qE -- "${option%%=*}(\[|=| |$)" || fail "$name runs an option its program does not know: $option" ;;
    esac
done
echo "PASS [service]: systemd accepts $name.service; exposure $level"
