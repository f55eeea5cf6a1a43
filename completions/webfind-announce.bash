# shellcheck shell=bash
# bash completion for webfind-announce: options, and interface names after -i.

_webfind_announce() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local options="--name --url -i --interface --per-source --shared --shared-bytes --unicast-from --service -v --verbose -h --help -V --version"
    COMPREPLY=()
    case $prev in
    -i | --interface)
        mapfile -t COMPREPLY < <(compgen -W "$(ip -o -4 addr show up 2> /dev/null | awk '{ print $2 }' | sort -u)" -- "$cur")
        return
        ;;
    --name | --url | --per-source | --shared | --shared-bytes | --unicast-from) return ;;
    esac
    [[ $cur == -* ]] && mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
    return 0
}

complete -F _webfind_announce webfind-announce
