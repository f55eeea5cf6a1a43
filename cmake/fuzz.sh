#!/bin/sh
# Runs every fuzz target for SECONDS each (default 20), starting from the
# committed seeds; new inputs go to a scratch corpus, not into the repository.
#   cmake/fuzz.sh [SECONDS]
set -e
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-20}
SCRATCH=$(mktemp -d)
trap 'rm -rf "$SCRATCH"' EXIT
status=0
for target in ParseAnswer GetString TerminalEscape Json IPCompare; do
    mkdir -p "$SCRATCH/$target"
    echo "=== Fuzz$target: ${SECONDS_EACH}s"
    if ! "build-fuzz/Fuzz$target" -max_len=1500 -max_total_time="$SECONDS_EACH" -print_final_stats=1 \
        -artifact_prefix="$SCRATCH/" "$SCRATCH/$target" "tests/fuzz/corpus/$target" 2> "$SCRATCH/$target.log"; then
        status=1
        tail -40 "$SCRATCH/$target.log"
        mkdir -p build-fuzz/findings && cp "$SCRATCH"/crash-* "$SCRATCH"/leak-* "$SCRATCH"/timeout-* build-fuzz/findings/ 2>/dev/null || true
    fi
    grep -E '^stat::(number_of_executed_units|peak_rss_mb)|^#[0-9]+ +DONE' "$SCRATCH/$target.log" || true
done
exit $status
