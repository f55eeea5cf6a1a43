#!/bin/sh
# Runs every fuzz target that the fuzz preset built (build-fuzz/Fuzz*) for
# SECONDS each (default 20), starting from its committed seeds in
# tests/fuzz/corpus/<name>; new inputs go to a scratch corpus, not into the
# repository. Findings are kept in build-fuzz/findings/.
#   scripts/fuzz.sh [SECONDS]
set -u
cd "$(dirname "$0")/.." || exit 1
seconds=${1:-20}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
found=0
for binary in build-fuzz/Fuzz*; do
    [ -x "$binary" ] || continue
    found=1
    target=${binary#build-fuzz/Fuzz}
    mkdir -p "$scratch/$target"
    echo "=== Fuzz$target: ${seconds}s"
    # The longest input is the receive limit: nothing longer reaches the tool.
    if ! "$binary" -max_len=1500 -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$scratch/" "$scratch/$target" "tests/fuzz/corpus/$target" 2> "$scratch/$target.log"; then
        status=1
        tail -40 "$scratch/$target.log"
        mkdir -p build-fuzz/findings
        for finding in "$scratch"/crash-* "$scratch"/leak-* "$scratch"/timeout-*; do
            [ -e "$finding" ] && cp "$finding" build-fuzz/findings/
        done
    fi
    grep -E '^stat::(number_of_executed_units|peak_rss_mb)|^#[0-9]+ +DONE' "$scratch/$target.log"
done
[ "$found" -eq 1 ] || { echo "no fuzz target in build-fuzz/ (cmake --preset fuzz && cmake --build --preset fuzz)"; exit 1; }
exit $status
