#!/usr/bin/env bash
# Checks that a run of velmora reaches the progs.dat each engine runs, wherever the mod keeps it:
# in mod folders whose progs.dat (ten slots, and a worldspawn that prints them) lies in packs and
# loose, DarkPlaces and Quakespasm must print the placeholders before the run and the names of
# cmaps.cfg after it, each from the copy it runs; the engines are the authority on which that is.
#
# Usage: written_names.sh VELMORA MAKE_GAME_FOLDER
# Prints one line per engine's answer that is not the one expected and a closing count; exits 1 on
# any, 77 (skipped, for CTest) when the engines are not installed.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
velmora=$1 make_game_folder=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=tests/engines/engines.sh
source "$here/engines.sh"
need_engines written_names

# Each case: its name; the copy DarkPlaces runs and the one Quakespasm runs, by label (id1: the base
# game's, which has no slots); then the mod's copies, PACK:ENTRY=LABEL, or progs.dat=LABEL loose.
# Labels of different lengths put the slots at different offsets in each copy.
cases=(
    "pak0 pak0 pak0 pak0.pak:progs.dat=pak0"
    "loose-too loose pak0 pak0.pak:progs.dat=pak0 progs.dat=loose"
    "chain pak_one pak_one pak0.pak:progs.dat=pak0 pak1.pak:progs.dat=pak_one"
    "chain-loose loose pak_one pak0.pak:progs.dat=pak0 pak1.pak:progs.dat=pak_one progs.dat=loose"
    "zz zz id1 zz.pak:progs.dat=zz"
    "zz-pak0 zz pak0 pak0.pak:progs.dat=pak0 zz.pak:progs.dat=zz"
    # Two entries of one name in one pack, in either case: the engines say which counts.
    "cases lower lower pak0.pak:progs.dat=lower pak0.pak:PROGS.DAT=upper"
    "upper-first upper lower pak0.pak:PROGS.DAT=upper pak0.pak:progs.dat=lower"
    "twice first first pak0.pak:progs.dat=first pak0.pak:progs.dat=second"
)

"$make_game_folder" --for-engines "$work/made"
compile_progs "$work/id1.dat" id1
placeholders="" names="" map_list=""
for k in {0..9}; do
    placeholders+=" <placeholder${k}____lt!g$k>" names+=" <mymap$k>"
    map_list+="LOCALMAP$k = \"mymap$k\";"$'\n'
done

# answer ENGINE GAME_DIR: the label of the progs.dat the engine runs, then the slots it printed.
answer() {
    start_engine "$1" "$2" mod +map start +quit |
        sed -n 's/^PROBE progs=\([^ ]*\) .*/\1/p; s/^PROBE slots=/ /p' | tr -d '\n'
}

mismatches=0
# expect CASE WHEN ENGINE LABEL SLOTS: asks the engine, and counts an answer other than the copy
# LABEL with SLOTS (the base game's progs.dat prints no slots).
expect() {
    local got want=$4$5
    [ "$4" != id1 ] || want=id1
    got=$(answer "$3" "$work/$1")
    if [ "$got" != "$want" ]; then
        echo "written_names: $1, $2 the run: $3 printed \"$got\", not \"$want\""
        mismatches=$((mismatches + 1))
    fi
}

for case in "${cases[@]}"; do
    read -r name darkplaces quakespasm copies <<<"$case"
    game=$work/$name
    mkdir -p "$game/mod"
    cp -al "$work/made/every-kind/id1" "$game/id1"
    cp "$work/id1.dat" "$game/id1/progs.dat"
    printf '%s' "$map_list" >"$game/mod/cmaps.cfg"
    declare -A packs=()
    for copy in $copies; do
        label=${copy#*=}
        compile_progs "$work/$label.dat" "$label" "$here/slots.qc"
        if [[ $copy == *:* ]]; then
            entry=${copy%=*}
            packs[${copy%%:*}]+=" ${entry#*:}=$work/$label.dat"
        else
            cp "$work/$label.dat" "$game/mod/progs.dat"
        fi
    done
    for pack in "${!packs[@]}"; do
        # shellcheck disable=SC2086 # one NAME=FILE argument for each entry
        "$make_game_folder" --pack "$game/mod/$pack" ${packs[$pack]}
    done
    unset packs
    expect "$name" before darkplaces "$darkplaces" "$placeholders"
    expect "$name" before quakespasm "$quakespasm" "$placeholders"
    if ! output=$(cd "$game/mod" && "$velmora" 2>&1); then
        echo "written_names: $name: velmora failed: $output"
        mismatches=$((mismatches + 1))
        continue
    fi
    expect "$name" after darkplaces "$darkplaces" "$names"
    expect "$name" after quakespasm "$quakespasm" "$names"
done
echo "written_names: ${#cases[@]} mod folders, each engine asked before and after a run," \
    "$mismatches answers not as expected"
[ "$mismatches" -eq 0 ]
