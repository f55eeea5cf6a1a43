#!/bin/bash
# The shell completions: bash completes options and interface names; zsh and
# fish accept their files, and each shell finds and uses its completion.
set -u
cd "$(dirname "$0")/../.." || exit 1
fail() { echo "FAIL [completions]: $*"; exit 1; }

# Every file a shell writes (zsh's completion dump, fish's universal
# variables and history) goes to this test's own folder, never to the
# user's home or anywhere else on the machine.
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
in_own_home() {
    env HOME="$work" ZDOTDIR="$work" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
        XDG_CACHE_HOME="$work/cache" "$@"
}

# bash
# shellcheck source=completions/webfind.bash
. completions/webfind.bash
complete -p webfind | grep -q -- '-F _webfind' || fail "bash: no completion registered for webfind"
complete_words() {
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMPREPLY=()
    _webfind
    [ "${#COMPREPLY[@]}" -eq 0 ] || printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}
[ "$(complete_words webfind --wa)" = "--wait --watch --watch= " ] || fail "bash: --wa gives '$(complete_words webfind --wa)'"
[ "$(complete_words webfind -n --j)" = "--json " ] || fail "bash: --j gives '$(complete_words webfind -n --j)'"
complete_words webfind -i '' | grep -qw lo || fail "bash: -i does not offer lo: '$(complete_words webfind -i '')'"
complete_words webfind --interface=l | grep -qw -- --interface=lo || fail "bash: --interface=l: '$(complete_words webfind --interface=l)'"
[ -z "$(complete_words webfind --port '')" ] || fail "bash: a port number has no completions"

# zsh
if command -v zsh > /dev/null; then
    zsh -n completions/_webfind || fail "zsh: the file does not parse"
    # -D: no dump file at all (compinit replaces its dump file by removing
    # it and writing it anew, whatever that file is).
    found=$(in_own_home zsh -f -c 'fpath=(completions $fpath); autoload -U compinit; compinit -u -D; print -r -- ${_comps[webfind]}')
    [ "$found" = _webfind ] || fail "zsh: compinit does not take _webfind for webfind ('$found')"
else
    echo "note: zsh is not installed; its completion was not checked"
fi

# fish
if command -v fish > /dev/null; then
    fish -n completions/webfind.fish || fail "fish: the file does not parse"
    offered=$(in_own_home fish -N -c 'source completions/webfind.fish; complete -C "webfind --wa"' | cut -f1 | sort | tr '\n' ' ')
    [ "$offered" = "--wait --watch " ] || fail "fish: --wa gives '$offered'"
else
    echo "note: fish is not installed; its completion was not checked"
fi
echo "PASS [completions]"
