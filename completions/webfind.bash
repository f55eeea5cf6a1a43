# shellcheck shell=bash
# bash completion for webfind: options, and interface names after -i.

_webfind_interfaces() {
    if [ -d /sys/class/net ]; then
        command ls /sys/class/net 2> /dev/null
    else
        ip -o link show 2> /dev/null | awk -F': ' '{ sub(/@.*/, "", $2); print $2 }'
    fi
}

_webfind() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local options="-n --no-open --json -i --interface -a --all-interfaces -w --wait -p --port --first
        --watch --watch= --duration= -v --verbose -h --help -V --version"
    COMPREPLY=()
    case $prev in
    -i | --interface)
        mapfile -t COMPREPLY < <(compgen -W "$(_webfind_interfaces)" -- "$cur")
        return
        ;;
    -w | --wait | -p | --port) return ;;  # a number
    esac
    case $cur in
    --interface=*)
        mapfile -t COMPREPLY < <(compgen -P --interface= -W "$(_webfind_interfaces)" -- "${cur#--interface=}")
        ;;
    -*)
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
        # "--watch=" and "--duration=" wait for their value.
        [ "${#COMPREPLY[@]}" -eq 1 ] && [ "${COMPREPLY[0]%=}" != "${COMPREPLY[0]}" ] && compopt -o nospace 2> /dev/null
        ;;
    esac
    return 0
}

complete -F _webfind webfind
