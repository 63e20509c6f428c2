#!/usr/bin/env bash
# Asks DarkPlaces and Quakespasm, the real engines, whether they start each NAME in a game folder.
#
# Usage: ask_engines.sh GAME_DIR MOD NAME...
# GAME_DIR holds id1/, with what Quakespasm needs even when dedicated (gfx.wad, gfx/pop.lmp,
# progs/player.mdl: make_game_folder --for-engines writes them), and MOD/. Prints
# NAME<TAB>darkplaces|quakespasm<TAB>started|failed|stopped for each name and engine; stopped: the
# engine quit before it could start any map. GAME_DIR is not changed: the engines run on a copy.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
game=$1 mod=$2
shift 2
names=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# shellcheck source=tests/engines/engines.sh
source "$here/engines.sh"
compile_progs "$work/progs.dat" ask
# Hard links where the file system allows: nothing in the copy is written, only added.
cp -al "$game" "$work/game" 2>/dev/null || cp -a "$game" "$work/game"
rm -f "$work/game/id1/progs.dat"
cp "$work/progs.dat" "$work/game/id1/progs.dat"

# start ENGINE FIRST: one start of the engine, execing a config that asks names FIRST.. in turn
# between markers; a name goes in unquoted, as a person types it and as a progs.dat's
# changelevel passes it (Quakespasm ends such a word at a byte over 0x7F, a quoted one not).
start() {
    local k
    for ((k = $2; k < ${#names[@]}; k++)); do
        printf 'echo "@begin %d"\nmap %s\necho "@end %d"\n' "$k" "${names[$k]}" "$k"
    done >"$work/game/id1/ask.cfg"
    start_engine "$1" "$work/game" "$mod" +exec ask.cfg +quit
}

for engine in darkplaces quakespasm; do
    first=0
    while [ "$first" -lt "${#names[@]}" ]; do
        # K started|failed for each marked name; a name whose end marker never came killed the
        # engine (a dedicated server quits on a map it cannot load), and the next start goes on.
        answers=$(start "$engine" "$first" | awk '
            /^@begin / { k = $2; spawned = 0 }
            /^Server spawned\./ { spawned = 1 }
            /^@end / { print k, (spawned ? "started" : "failed"); k = "" }
            END { if (k != "") print k, "failed" }')
        if [ -z "$answers" ]; then
            for ((k = first; k < ${#names[@]}; k++)); do
                printf '%s\t%s\tstopped\n' "${names[$k]}" "$engine"
            done
            break
        fi
        while read -r k result; do
            printf '%s\t%s\t%s\n' "${names[$k]}" "$engine" "$result"
            first=$((k + 1))
        done <<<"$answers"
    done
done
