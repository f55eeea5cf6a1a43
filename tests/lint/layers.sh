#!/bin/bash
# The tool's folders, the announcer's (announce/) and the simulated
# device's (tools/) depend only on those below them, as the libraries of
# their CMakeLists.txt link them, and no two units (a header with its
# sources) include each other. Output and command-line code never reach
# into the socket library.
set -u
cd "$(dirname "$0")/../.." || exit 1
fail=0
problem() { echo "FAIL [layers]: $*"; fail=1; }

# What each folder may include, besides itself and the standard library:
# the folders its library links, and theirs in turn, read from the link
# lines of app/CMakeLists.txt (webfind_FOLDER; BRIVO::brivo is Network).
declare -A links=() allowed=()
while read -r target deps; do
    links[$target]=$deps
done < <(cat app/CMakeLists.txt announce/CMakeLists.txt tools/CMakeLists.txt | tr '\n' ' ' |
    grep -o 'target_link_libraries([^)]*)' | sed 's/(webfind-responder /(webfind_tools /; s/(webfind-setup /(webfind_tools /; s/(webfind_setup /(webfind_tools /; s/(webfind-announce /(webfind_announce /' |
    sed -n 's/^target_link_libraries(webfind_\([a-z]*\) [A-Z]* \(.*\))$/\1 \2/p' |
    awk '{ printf "%s", $1; for (i = 2; i <= NF; i++) { if ($i ~ /^webfind_/) { sub(/^webfind_/, "", $i); printf " %s", $i }
           else if ($i == "BRIVO::brivo") printf " Network" } print "" }' |
    awk '{ deps[$1] = deps[$1] substr($0, length($1) + 1) } END { for (t in deps) print t deps[t] }')
# below FOLDER: every folder FOLDER's library reaches through its links.
below() {
    local seen=" " queue=("$1") next dep
    while [ "${#queue[@]}" -gt 0 ]; do
        next=${queue[0]}
        queue=("${queue[@]:1}")
        for dep in ${links[$next]:-}; do
            [[ "$seen" == *" $dep "* ]] && continue
            seen="$seen$dep "
            queue+=("$dep")
        done
    done
    echo "$seen"
}
for folder in "${!links[@]}"; do
    [ "$folder" = options ] || [ "$folder" = core ] && continue
    allowed[$folder]=$(below "$folder")
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
    case $file in
    app/*) folder=$(echo "$file" | cut -d/ -f2) ;;
    *) folder=${file%%/*} ;;
    esac
    while IFS= read -r included; do
        case $included in
        Network/*) target=Network ;;
        app/*/*) target=$(echo "$included" | cut -d/ -f2) ;;
        announce/*) target=announce ;;
        tools/*) target=tools ;;
        *) problem "$file includes \"$included\", which names no folder of ours"; continue ;;
        esac
        if [ "$target" != "$folder" ] && [[ " ${allowed[$folder]} " != *" $target "* ]]; then
            problem "$file ($folder) includes $included ($target), which is not below it"
        fi
        case $included in
        app/* | announce/* | tools/*) echo "$(unit "$file") $(unit "$included")" >> "$edges" ;;
        esac
    done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done < <(find app announce tools \( -name '*.h' -o -name '*.cpp' \) | sort)

# No unit includes one that includes it.
while read -r from to; do
    [ "$from" = "$to" ] && continue
    if grep -qx "$to $from" "$edges"; then
        [[ "$from" < "$to" ]] && problem "$from and $to include each other"
    fi
done < <(sort -u "$edges")

[ "$fail" -eq 0 ] && echo "PASS [layers]: every include points down, and no two units include each other"
exit "$fail"
