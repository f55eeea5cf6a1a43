#!/bin/bash
# The tool's folders depend only on those below them, and no two of its
# units (a header with its sources) include each other. Output and
# command-line code never reach into the socket library.
set -u
cd "$(dirname "$0")/../.." || exit 1
fail=0
problem() { echo "FAIL [layers]: $*"; fail=1; }

# What each folder may include, besides itself and the standard library.
declare -A allowed=(
    [base]=""
    [wire]="base Network"
    [discovery]="base wire Network"
    [output]="base"
    [system]="base"
    [inspect]="base system"
    [desktop]="base output system"
    [diagnosis]="base wire discovery system Network"
    [cli]="base discovery output system inspect desktop diagnosis"
)

for folder in "${!allowed[@]}"; do
    [ -d "app/$folder" ] || problem "app/$folder is listed here but does not exist"
done
for dir in app/*/; do
    folder=$(basename "$dir")
    [ -n "${allowed[$folder]+set}" ] || problem "app/$folder is a folder this check does not know: give it its layer"
done

# unit FILE: the unit a source belongs to (Session.cpp, Session.h and
# SessionPosix.cpp are all app/discovery/Session).
unit() {
    local path=${1%.*}
    path=${path%Posix}
    path=${path%Windows}
    echo "$path"
}

edges=$(mktemp)
trap 'rm -f "$edges"' EXIT
while IFS= read -r file; do
    folder=$(echo "$file" | cut -d/ -f2)
    while IFS= read -r included; do
        case $included in
        Network/*) target=Network ;;
        app/*/*) target=$(echo "$included" | cut -d/ -f2) ;;
        *) problem "$file includes \"$included\", which names no folder of ours"; continue ;;
        esac
        if [ "$target" != "$folder" ] && [[ " ${allowed[$folder]} " != *" $target "* ]]; then
            problem "$file ($folder) includes $included ($target), which is not below it"
        fi
        case $included in
        app/*) echo "$(unit "$file") $(unit "$included")" >> "$edges" ;;
        esac
    done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done < <(find app -name '*.h' -o -name '*.cpp' | sort)

# No unit includes one that includes it.
while read -r from to; do
    [ "$from" = "$to" ] && continue
    if grep -qx "$to $from" "$edges"; then
        [[ "$from" < "$to" ]] && problem "$from and $to include each other"
    fi
done < <(sort -u "$edges")

[ "$fail" -eq 0 ] && echo "PASS [layers]: every include points down, and no two units include each other"
exit "$fail"
