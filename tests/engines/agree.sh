#!/usr/bin/env bash
# Checks what velmora --map-table says of the tests' games for engines (the game of every kind and
# some damaged ones) against what DarkPlaces and Quakespasm do when told to start each name: the
# engines are the authority on the rules.
#
# Usage: agree.sh VELMORA MAKE_GAME_FOLDER
# Prints one line per disagreement and a closing count; exits 1 on any disagreement, 77 (skipped,
# for CTest) when the engines are not installed.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
velmora=$1
make_game_folder=$2
for engine in /usr/games/darkplaces-server /usr/games/quakespasm; do
    if [ ! -x "$engine" ]; then
        echo "agree: $engine is missing (Debian: apt-get install darkplaces-server quakespasm fteqcc)"
        exit 77
    fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$make_game_folder" --for-engines "$work"

unhex() { printf '%b' "$(sed 's/../\\x&/g' <<<"$1")"; }
# The names a user would try beyond the levels: one for each verdict.
asked=$(printf '%s\n' mixedcase QS_ONLY dm_loose $'caf\xe9' extra1 vault/x strat)
names=0 disagreements=0
for game in "$work"/*/; do
    # An entry the tool leaves out must fail in both engines: its name is asked too.
    left_out=$(cd "$game/mod" && "$velmora" --map-table </dev/null |
        sed -n 's/^damage\t[^\t]*\.pak:maps\/\([^\t]*\)\.bsp\t.*: it is left out$/\1/p' | head -n 3)
    table=$(cd "$game/mod" && "$velmora" --map-table <<<"$asked${left_out:+$'\n'$left_out}")
    # A pack that stops Quakespasm at start stops it for every name.
    stops=$(grep -q '^stops-quakespasm' <<<"$table" && echo stopped || echo "")
    declare -A expected=()
    # level rows: name, title, engines; name rows: digit, name, verdict, note.
    while IFS=$'\t' read -r kind a b c d _; do
        name=$a word=$c
        if [ "$kind" = name ]; then
            name=$b word=$c
            [ "$c" != some-engines ] || [[ $d == *"starts in DarkPlaces"* ]] || word=quakespasm
            [ "$c" != some-engines ] || [[ $d != *"starts in DarkPlaces"* ]] || word=darkplaces
        fi
        case $kind:$word in
        level:every | name:starts) expected[$(unhex "$name")]="started started" ;;
        *:darkplaces) expected[$(unhex "$name")]="started failed" ;;
        *:quakespasm) expected[$(unhex "$name")]="failed started" ;;
        level:windows | name:windows-only | name:no-map) expected[$(unhex "$name")]="failed failed" ;;
        esac
    done <<<"$table"

    declare -A answered=()
    while IFS=$'\t' read -r name engine result; do
        answered[$name]="${answered[$name]:-} $engine=$result"
    done < <(bash "$here/ask_engines.sh" "$game" mod "${!expected[@]}")

    for name in "${!expected[@]}"; do
        read -r darkplaces quakespasm <<<"${expected[$name]}"
        for want in "darkplaces=$darkplaces" "quakespasm=${stops:-$quakespasm}"; do
            if [[ " ${answered[$name]:-} " != *" $want "* ]]; then
                echo "agree: $(basename "$game"): \"$name\": velmora says $want, the engines" \
                    "say:${answered[$name]:- nothing}"
                disagreements=$((disagreements + 1))
            fi
        done
    done
    names=$((names + ${#expected[@]}))
    unset expected answered
done
echo "agree: $names names in $(find "$work" -mindepth 1 -maxdepth 1 -type d | wc -l) games asked" \
    "of both engines, $disagreements disagreements"
[ "$disagreements" -eq 0 ]
