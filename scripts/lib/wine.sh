# shellcheck shell=sh
# Sourced by the scripts that run the Windows builds under Wine. Each word
# size has its own loader and server: the "wine" and "wineserver" wrapper
# scripts pick one by what is installed, not by the program.

# wine_for ARCH PREFIX: exports what runs ARCH (i686 or x86_64) programs with
# that word size's Wine, in the prefix PREFIX.
wine_for() {
    case $1 in
    i686) WINELOADER=/usr/lib/wine/wine WINESERVER=/usr/lib/wine/wineserver32 WINEARCH=win32 ;;
    x86_64) WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64 WINEARCH=win64 ;;
    *) echo "unknown Windows architecture '$1' (i686 or x86_64)" >&2; return 1 ;;
    esac
    # No Mono and no Gecko: nothing here needs them, and Wine would offer to
    # download them. No menu builder: it writes menu entries and file
    # associations into the user's home, outside the prefix.
    WINEPREFIX=$2 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    export WINELOADER WINESERVER WINEARCH WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
}

# wine_prefix_ready: creates $WINEPREFIX when it is missing and waits for its
# server to stop. Call it inside a private network namespace.
wine_prefix_ready() {
    [ -f "$WINEPREFIX/system.reg" ] && return 0
    echo "Creating the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    "$WINELOADER" wineboot -i > /dev/null 2>&1
    "$WINESERVER" -w
    [ -f "$WINEPREFIX/system.reg" ]
}

# wineserver_here: starts a server for $WINEPREFIX in this network namespace,
# after stopping any other one of that prefix, and checks that the running
# server is ours. Wine creates every socket inside its server, so a server in
# another namespace would send the probes to the host's real network.
wineserver_here() {
    "$WINESERVER" -k 2>/dev/null
    "$WINESERVER" -w 2>/dev/null
    "$WINESERVER" -p 60 > /dev/null 2>&1 < /dev/null || return 1
    # The session's services (started by the first program) live as long as
    # the server: started here, they hold no caller's pipe open.
    "$WINELOADER" wineboot > /dev/null 2>&1 < /dev/null
    _mine=$(readlink /proc/self/ns/net)
    for _ in $(seq 50); do
        for _pid in $(pgrep -x 'wineserver|wineserver32|wineserver64'); do
            [ "$(readlink "/proc/$_pid/ns/net" 2>/dev/null)" = "$_mine" ] && return 0
        done
        sleep 0.1
    done
    return 1
}
