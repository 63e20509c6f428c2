#!/usr/bin/env bash
# Builds each folder layout listed in FINDINGS.md, asks both engines about it with ask_engines.sh,
# and prints what they did as markdown table rows, so that the findings can be measured again
# (after an engine update, say) instead of trusted. Usage: measure_cases.sh [CASE...] (default all).
# Each row: case | maps asked | engine | result | message (the title of the map that started, or
# the engine's reason). After each case, the engines' own lines about packs and their search path.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=qfiles.sh
. "$here/qfiles.sh"
ask=$here/ask_engines.sh

work=$(mktemp -d "${TMPDIR:-/tmp}/measure_cases.XXXXXX")
trap 'rm -rf "$work"' EXIT

# fresh: an empty base folder B with id1/ and mod/ (the harness adds what Quakespasm needs).
fresh() {
    rm -rf "$work/B" "$work/logs"
    mkdir -p "$work/B/id1" "$work/B/mod"
    B=$work/B
}

# map FILE TITLE: a level (with an info_player_start) whose title is TITLE.
map() {
    mkdir -p "$(dirname "$1")"
    qf_bsp "$1" "$2"
}

# lvl NAME: a level file in the scratch folder, titled NAME, for packing.
lvl() {
    qf_bsp "$work/$1.bsp" "$1"
    printf '%s' "$work/$1.bsp"
}

# patch32 FILE OFFSET VALUE: overwrites 4 bytes of FILE with VALUE (int32 little-endian).
patch32() {
    qf_le32 "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

# printable TEXT: TEXT as printable ASCII for a table cell: a byte over 0x7e as \xNN, | escaped.
printable() {
    local s=$1 out="" i c
    for ((i = 0; i < ${#s}; i++)); do
        c=${s:i:1}
        case $c in
        [[:print:]]) [ "$c" = '|' ] && out+='\|' || out+=$c ;;
        *) out+=$(printf '\\x%02x' "'$c") ;;
        esac
    done
    printf '%s' "$out"
}

# ask CASE ARGS...: runs the harness in detail mode on B with -game mod and prints table rows.
ask() {
    local case=$1
    shift
    local name engine result msg
    while IFS=$'\t' read -r name engine result msg; do
        # "title=<T> progs=L" as text that markdown does not take for an HTML tag.
        if [[ ${msg:-} =~ ^title=\<(.*)\>\ progs=(.*)$ ]]; then
            msg="title \"${BASH_REMATCH[1]}\", progs \"${BASH_REMATCH[2]}\""
        fi
        # shellcheck disable=SC2016 # the backquotes are markdown
        printf '| %s | `map %s` | %s | %s | %s |\n' "$case" "$(printable "$name")" "$engine" \
            "$result" "$(printable "${msg:-}")"
    done < <("$ask" --detail --logs "$work/logs" "$B" mod "$@")
    notes "$case"
}

# ask_progs CASE: which progs.dat each engine ran in B with -game mod.
ask_progs() {
    local case=$1 engine label msg
    while IFS=$'\t' read -r engine label msg; do
        printf '| %s | (progs.dat) | %s | ran "%s" | %s |\n' "$case" "$engine" "$label" "${msg:-}"
    done < <("$ask" --logs "$work/logs" --progs "$B" mod)
    notes "$case"
}

# notes CASE: from the first log of each engine, its lines about packs at start and its search
# path, as table rows of their own.
notes() {
    local case=$1 log engine packs path
    # Logs are ENGINE.N.log, N counting engine starts: the lowest N of an engine is its first.
    for log in $(cd "$work/logs" && printf "%s\n" *.log | sort -t . -k 2,2n); do
        log=$work/logs/$log
        engine=$(basename "$log")
        engine=${engine%%.*}
        case " $seen_engines " in *" $engine "*) continue ;; esac
        seen_engines+=" $engine"
        # Lines about packs before the search path (a pack that loaded is in the path anyway).
        packs=$(sed -n '1,/^Current search path:/p' "$log" |
            grep -E -i 'pack|\.pak|has no files|QUAKE ERROR' |
            grep -v -E '^Added packfile|^Current search path:| \([0-9]+ files\)$' |
            sed 's/[[:space:]]*$//' | once | paste -sd ';' - | sed 's/;/; /g' || true)
        path=$(sed -n '/^Current search path:/,/@ask begin/p' "$log" | sed '1d;$d' |
            grep -v -E '^(Host_ShutdownServer|[[:space:]]*)$' | grep -v '^(userdir)/' |
            sed 's/[[:space:]]*$//' | paste -sd ';' - | sed 's/;/; /g' || true)
        printf '| %s | (at start) | %s | | %s%s |\n' "$case" "$engine" \
            "$(printable "${packs:+$packs. }")" "$(printable "search path: ${path:-none}")"
    done
    seen_engines=""
}
seen_engines=""

# once: each distinct line once, in order, with how many times it came when more than once.
once() {
    awk '{ if (!c[$0]++) o[n++] = $0 }
        END { for (i = 0; i < n; i++) print o[i] (c[o[i]] > 1 ? " (" c[o[i]] " times)" : "") }'
}

case_1() {
    fresh
    qf_pak "$B/mod/pak0.pak" "maps/foo.bsp=$(lvl foo)"
    ask 1 foo
}
case_2() {
    fresh
    qf_pak "$B/mod/pak0.pak" "maps/MixedCase.bsp=$(lvl MixedCase)"
    ask 2 mixedcase MixedCase
}
case_3() {
    fresh
    qf_pak "$B/mod/pak0.pak" "maps/p0.bsp=$(lvl p0)"
    qf_pak "$B/mod/extra.pak" "maps/extra1.bsp=$(lvl extra1)"
    ask 3 extra1 p0
}
case_4() {
    fresh
    qf_pak "$B/mod/pak0.pak" "maps/p0.bsp=$(lvl p0)"
    qf_pak "$B/mod/pak2.pak" "maps/p2.bsp=$(lvl p2)"
    ask 4 p2 p0
}
case_5() {
    fresh
    qf_pak "$B/mod/PAK0.PAK" "maps/capo.bsp=$(lvl capo)"
    ask 5 capo
}
case_6() {
    fresh
    map "$B/mod/maps/upper.BSP" upper.BSP
    map "$B/mod/MAPS/up.bsp" MAPS/up
    ask 6 upper up
}
case_7() {
    fresh
    map "$B/mod/maps/vault/x.bsp" "loose vault/x"
    qf_pak "$B/mod/pak0.pak" "maps/vault/y.bsp=$(lvl y)"
    ask 7 vault/x vault/y
}
case_8() {
    fresh
    map "$B/mod/maps/Dm_Arena.bsp" Dm_Arena
    ask 8 dm_arena Dm_Arena
}
case_9() {
    fresh
    mkdir -p "$B/mod/sub"
    qf_pak "$B/mod/sub/pak0.pak" "maps/subm.bsp=$(lvl subm)"
    ask 9 subm
}
case_10() {
    fresh
    qf_pak "$B/id1/pak0.pak" "maps/idpak.bsp=$(lvl idpak)"
    map "$B/id1/maps/idloose.bsp" idloose
    ask 10 idpak idloose
}
case_11() {
    fresh
    map "$B/mod/maps/same.bsp" "mod loose"
    map "$B/id1/maps/same.bsp" "id1 loose"
    qf_bsp "$work/a.bsp" "mod pak0"
    qf_bsp "$work/b.bsp" "id1 pak0"
    qf_pak "$B/mod/pak0.pak" "maps/inpak.bsp=$work/a.bsp"
    qf_pak "$B/id1/pak0.pak" "maps/inpak.bsp=$work/b.bsp" "maps/mixed.bsp=$work/b.bsp"
    map "$B/mod/maps/mixed.bsp" "mod loose"
    ask 11 same inpak mixed
}
case_12() {
    fresh
    map "$B/mod/maps/dup.bsp" "loose"
    qf_bsp "$work/p.bsp" "pak0"
    qf_pak "$B/mod/pak0.pak" "maps/dup.bsp=$work/p.bsp"
    ask 12 dup
}
case_13() {
    local long size
    # a: the first entry's name fills its 56 bytes with no zero byte.
    fresh
    long=maps/$(printf 'a%.0s' $(seq 47)).bsp
    qf_pak "$B/mod/pak0.pak" "$long=$(lvl noterm)" "maps/good.bsp=$(lvl good)"
    ask 13a good "$(printf 'a%.0s' $(seq 47))"
    # c: as a, but the entry's data offset (the 4 bytes after the name) starts with a zero byte,
    # so that an engine reading the name on past its 56 bytes stops right after them.
    fresh
    local n g
    n=$(lvl noterm)
    g=$(lvl good)
    {
        printf PACK
        qf_le32 $((256 + $(stat -c %s "$n") + $(stat -c %s "$g"))) 128
        qf_zeros 244
        cat "$n" "$g"
        qf_pak_entry "$long" 256 "$(stat -c %s "$n")"
        qf_pak_entry maps/good.bsp $((256 + $(stat -c %s "$n"))) "$(stat -c %s "$g")"
    } >"$B/mod/pak0.pak"
    ask 13c good "$(printf 'a%.0s' $(seq 47))"
    # b: the first entry's data lies past the pack's end.
    fresh
    qf_pak "$B/mod/pak0.pak" "maps/past.bsp=$(lvl past)" "maps/good.bsp=$(lvl good)"
    size=$(stat -c %s "$B/mod/pak0.pak")
    # The directory is last: entry 0's offset field is at directory + 56.
    patch32 "$B/mod/pak0.pak" $((size - 128 + 56)) $((size + 1000))
    ask 13b good past
}
# pak1 LAYOUT: mod/pak0.pak (maps/p0) and mod/pak2.pak (maps/p2) fine, mod/pak1.pak (maps/p1)
# damaged as LAYOUT says.
pak1() {
    fresh
    qf_pak "$B/mod/pak0.pak" "maps/p0.bsp=$(lvl p0)"
    qf_pak "$B/mod/pak2.pak" "maps/p2.bsp=$(lvl p2)"
    local p=$B/mod/pak1.pak size
    qf_pak "$p" "maps/p1.bsp=$(lvl p1)"
    size=$(stat -c %s "$p")
    case $1 in
    magic) printf XACK | dd of="$p" bs=1 conv=notrunc status=none ;;
    neglen) patch32 "$p" 8 -64 ;;
    negofs) patch32 "$p" 4 -64 ;;
    2049)
        # One real entry, then 2,048 zero ones: the file stays sparse past the first.
        patch32 "$p" 8 $((2049 * 64))
        truncate -s $((size + 2048 * 64)) "$p"
        ;;
    len74)
        patch32 "$p" 8 74
        qf_zeros 10 >>"$p"
        ;;
    pastend) patch32 "$p" 4 $((size + 1000)) ;;
    empty) : >"$p" ;;
    esac
}
case_14() {
    local v
    for v in magic neglen negofs 2049 len74 pastend empty; do
        pak1 "$v"
        ask "14 $v" p0 p1 p2
    done
    # An empty pak1.pak after a pak0.pak of two maps, and an empty pak0.pak before a good pak1.
    fresh
    qf_pak "$B/mod/pak0.pak" "maps/p0.bsp=$(lvl p0)" "maps/q0.bsp=$(lvl q0)"
    : >"$B/mod/pak1.pak"
    ask "14 empty, 2 maps in pak0" p0 q0
    fresh
    : >"$B/mod/pak0.pak"
    qf_pak "$B/mod/pak1.pak" "maps/p1.bsp=$(lvl p1)"
    ask "14 empty pak0" p1
    # The same with a pack in id1, which Quakespasm reads before the mod's.
    qf_pak "$B/id1/pak0.pak" "maps/i0.bsp=$(lvl i0)"
    ask "14 empty pak0, id1/pak0.pak" p1 i0
}
case_15() {
    fresh
    map "$B/mod/maps/caf"$'\xe9'".bsp" "Latin-1 name"
    ask 15 "caf"$'\xe9' cafe
}
case_16() {
    fresh
    qf_progs "$work/pack.dat" pack "$here"
    qf_progs "$B/mod/progs.dat" loose "$here"
    qf_pak "$B/mod/pak0.pak" "progs.dat=$work/pack.dat"
    ask_progs "16a pak0+loose"
    fresh
    qf_progs "$work/p0.dat" pak0 "$here"
    qf_progs "$work/p1.dat" pak1 "$here"
    qf_pak "$B/mod/pak0.pak" "progs.dat=$work/p0.dat"
    qf_pak "$B/mod/pak1.pak" "progs.dat=$work/p1.dat"
    ask_progs "16b pak0+pak1"
    fresh
    qf_pak "$B/mod/pak0.pak" "progs.dat=$work/p0.dat"
    ask_progs "16c pak0 only"
}

cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=(1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16)
echo '| case | asked | engine | result | message |'
echo '| --- | --- | --- | --- | --- |'
for c in "${cases[@]}"; do
    "case_$c"
done
