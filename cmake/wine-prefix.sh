#!/bin/sh
# Creates the Wine prefixes named as arguments, if missing, inside a throwaway
# network namespace when one can be made: nothing Wine starts here may reach
# the real network.
set -e
for prefix in "$@"; do
    [ -f "$prefix/system.reg" ] && continue
    mkdir -p "$prefix"
    prefix=$(cd "$prefix" && pwd)
    echo "Creating Wine prefix $prefix"
    init="WINEPREFIX='$prefix' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' wineboot -i >/dev/null 2>&1; WINEPREFIX='$prefix' wineserver -w"
    if unshare -n true 2>/dev/null; then
        unshare -n sh -c "$init"
    else
        sh -c "$init"
    fi
done
