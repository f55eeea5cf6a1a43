#!/bin/bash
# Memory under a hostile flood: 65,536 sources that each answer with a
# 1,400-byte name, and webfind in every mode (--json, the text listing, the
# page of devices, a watch). Prints each mode's peak resident memory, what
# it listed and left out, and whether --json survives `ulimit -v 262144`.
#
#   bench/memory.sh
#
# Everything happens in a private network namespace; needs root (or user
# namespaces).
set -u
cd "$(dirname "$0")/.." || exit 1
# shellcheck source=bench/lib.sh
. bench/lib.sh
bench_in_private_netns "$0" "$@"

WORK=$(mktemp -d)
trap 'kill "$flood" 2> /dev/null; rm -rf "$WORK"' EXIT
mkdir -m 0700 "$WORK/runtime" "$WORK/bin"
printf '#!/bin/sh\nexit 0\n' > "$WORK/bin/xdg-open"
chmod +x "$WORK/bin/xdg-open"

name=$(head -c 1400 /dev/zero | tr '\0' N)
"$RESPONDER" --lifetime 300 --count 65536 --from 127.1.0.1 --name "$name {addr}" > "$WORK/flood.log" 2>&1 &
flood=$!
started "$WORK/flood.log" "the flood of sources"

echo "65,536 sources, 1,400-byte names; the bound is 96 MiB"
echo
echo "| mode | peak RSS | status | listed | left out (stderr) |"
echo "|---|---:|---:|---:|---|"
for mode in --json -n --page "--watch=1 --duration=4 --json" "--watch=1 --duration=4 --json --check"; do
    # shellcheck disable=SC2086  # the mode's words
    env -u BROWSER PATH="$WORK/bin:$PATH" DISPLAY=:0 XDG_RUNTIME_DIR="$WORK/runtime" \
        /usr/bin/time -f %M -o "$WORK/peak" "$WEBFIND" $mode > "$WORK/out" 2> "$WORK/err"
    status=$?
    case $mode in
    --json) listed=$(grep -c '"address"' "$WORK/out") ;;
    --watch*) listed=$(grep -c '"event":"up"' "$WORK/out") ;;
    *) listed=$(grep -c '^Name:' "$WORK/out") ;;
    esac
    note=$(grep -m 1 'more devices answered' "$WORK/err" | cut -c 10-60)
    page=""
    [ "$mode" = --page ] && page=", page $(du -k "$WORK"/runtime/webfind/webfind-*.html | awk '{ print $1 }' | tail -1) KiB"
    printf '| %s | %s MiB | %s | %s%s | %s |\n' "$mode" "$(( $(tail -1 "$WORK/peak") / 1024 ))" "$status" "$listed" "$page" "$note"
done
echo
(ulimit -v 262144; "$WEBFIND" --json > "$WORK/out" 2> "$WORK/err")
echo "ulimit -v 262144, --json: exit status $?, $(grep -c '"address"' "$WORK/out") devices listed"
