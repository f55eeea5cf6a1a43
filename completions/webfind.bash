# shellcheck shell=bash
# bash completion for webfind: options, and interface names after -i.

# The interfaces -i takes: those that are up with an IPv4 address, loopback
# (its addresses have host scope) left out.
_webfind_interfaces() {
    ip -o -4 addr show up 2> /dev/null | awk '!/ scope host / { print $2 }' | sort -u
}

_webfind() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local options="-n --no-open --json --page -l --long --check -i --interface -a --all-interfaces -t --target --rate
        -w --wait -p --port --first --watch --watch= --duration= --metrics -v --verbose -h --help -V --version"
    COMPREPLY=()
    # bash splits "--interface=eth" at the "=" (COMP_WORDBREAKS): the option
    # is then the word before the "=".
    if [ "$cur" = "=" ]; then
        cur=""
    elif [ "$prev" = "=" ] && [ "$COMP_CWORD" -ge 2 ]; then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    fi
    case $prev in
    -i | --interface)
        mapfile -t COMPREPLY < <(compgen -W "$(_webfind_interfaces)" -- "$cur")
        return
        ;;
    -w | --wait | -p | --port | --watch | --duration | --rate) return ;;  # a number
    -t | --target) return ;;  # an address, a range or a host name
    --metrics)
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        return
        ;;
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
