#!/bin/bash
# The shell completions: bash completes options and the interfaces -i takes;
# zsh and fish accept their files, and each shell finds and uses its
# completion. `ip` is a stand-in that shows a host with loopback, two LAN
# interfaces and a bridge port without an address.
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
mkdir -p "$work/bin" "$work/files"
cat > "$work/bin/ip" <<'IP'
#!/bin/sh
[ "$*" = "-o -4 addr show up" ] || exit 1
printf '%s\n' \
    '1: lo    inet 127.0.0.1/8 scope host lo\       valid_lft forever preferred_lft forever' \
    '2: eth0    inet 192.168.1.5/24 brd 192.168.1.255 scope global eth0\       valid_lft forever preferred_lft forever' \
    '2: eth0    inet 192.168.2.5/24 brd 192.168.2.255 scope global eth0\       valid_lft forever preferred_lft forever' \
    '3: wlan0    inet 10.0.0.7/24 brd 10.0.0.255 scope global wlan0\       valid_lft forever preferred_lft forever'
IP
chmod +x "$work/bin/ip"
PATH="$work/bin:$PATH"
# A file that a completion offering file names would offer.
touch "$work/files/a-file"

# bash
# shellcheck source=completions/webfind.bash
. completions/webfind.bash
complete -p webfind | grep -q -- '-F _webfind' || fail "bash: no completion registered for webfind"
# complete_with FUNCTION WORD...: what FUNCTION offers for the words as bash
# splits them, the last one being completed.
complete_with() {
    local function=$1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMPREPLY=()
    "$function"
    [ "${#COMPREPLY[@]}" -eq 0 ] || printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}
complete_words() { complete_with _webfind "$@"; }
expect_bash() {
    local want=$1
    shift
    [ "$(complete_words "$@")" = "$want" ] || fail "bash: '$*' gives '$(complete_words "$@")', not '$want'"
}
expect_bash "--wait --watch --watch= " webfind --wa
expect_bash "--json " webfind -n --j
expect_bash "--page " webfind --pa
expect_bash "eth0 wlan0 " webfind -i ''
expect_bash "wlan0 " webfind --interface w
# "--interface=" as bash really splits it, and as one word where "=" breaks nothing.
expect_bash "eth0 wlan0 " webfind --interface =
expect_bash "eth0 " webfind --interface = e
expect_bash "--interface=eth0 " webfind --interface=e
expect_bash "" webfind --port ''
expect_bash "" webfind --watch = ''
# --metrics takes a file name.
[ "$(cd "$work/files" && complete_words webfind --metrics a)" = "a-file " ] || fail "bash: --metrics offers no file"

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
    script=$PWD/completions/webfind.fish
    fish_offers() {
        (cd "$work/files" && in_own_home fish -N -c "source '$script'; complete -C '$1'") |
            cut -f1 | sort | tr '\n' ' '
    }
    [ "$(fish_offers 'webfind --wa')" = "--wait --watch " ] || fail "fish: --wa gives '$(fish_offers 'webfind --wa')'"
    [ "$(fish_offers 'webfind -i ')" = "eth0 wlan0 " ] || fail "fish: -i gives '$(fish_offers 'webfind -i ')'"
    [ -z "$(fish_offers 'webfind --watch=')" ] || fail "fish: --watch= offers '$(fish_offers 'webfind --watch=')'"
    [ -z "$(fish_offers 'webfind ')" ] || fail "fish: a pattern is offered files: '$(fish_offers 'webfind ')'"
    [ "$(fish_offers 'webfind --metrics a')" = "a-file " ] || fail "fish: --metrics gives '$(fish_offers 'webfind --metrics a')'"
else
    echo "note: fish is not installed; its completion was not checked"
fi
# webfind-announce's completions: registered, options, interfaces.
# shellcheck source=completions/webfind-announce.bash
. completions/webfind-announce.bash
complete -p webfind-announce | grep -q -- '-F _webfind_announce' || fail "bash: no completion for webfind-announce"
announce_words() { complete_with _webfind_announce "$@"; }
[ "$(announce_words webfind-announce --pe)" = "--per-source " ] || fail "bash: webfind-announce --pe gives '$(announce_words webfind-announce --pe)'"
[ "$(announce_words webfind-announce -i w)" = "wlan0 " ] || fail "bash: webfind-announce -i w gives '$(announce_words webfind-announce -i w)'"
if command -v zsh > /dev/null; then
    zsh -n completions/_webfind-announce || fail "zsh: _webfind-announce does not parse"
fi
if command -v fish > /dev/null; then
    fish -n completions/webfind-announce.fish || fail "fish: webfind-announce.fish does not parse"
    offers=$(in_own_home fish -N -c "source '$PWD/completions/webfind-announce.fish'; complete -C 'webfind-announce --sh'" | cut -f1 | tr '\n' ' ')
    [ "$offers" = "--shared --shared-bytes " ] || fail "fish: webfind-announce --sh gives '$offers'"
fi
echo "PASS [completions]"
