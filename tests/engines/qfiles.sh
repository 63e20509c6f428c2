# shellcheck shell=bash disable=SC2059 # printf formats are built from escapes on purpose
# Makes the small game files the engine tests need (a BSP, a PACK archive, the files Quakespasm
# wants), with bash and printf only, so that no binary test data is kept in the repository and no
# python is needed. Source it: `. qfiles.sh`. Every function writes bytes, so run under LC_ALL=C.

# Byte counts below (${#s}) must count bytes, not characters, for names such as "caf\xe9".
export LC_ALL=C

# qf_le32 N...: each N as 4 bytes, little-endian, two's complement (so -1 is ff ff ff ff).
qf_le32() {
    local v b
    for v in "$@"; do
        printf -v b '\\x%02x\\x%02x\\x%02x\\x%02x' $((v & 255)) $((v >> 8 & 255)) \
            $((v >> 16 & 255)) $((v >> 24 & 255))
        printf "$b"
    done
}

# qf_le16 N...: each N as 2 bytes, little-endian.
qf_le16() {
    local v b
    for v in "$@"; do
        printf -v b '\\x%02x\\x%02x' $((v & 255)) $((v >> 8 & 255))
        printf "$b"
    done
}

# qf_zeros N: N zero bytes.
qf_zeros() {
    [ "$1" -gt 0 ] && head -c "$1" /dev/zero
    return 0
}

# qf_bsp OUT TITLE [START]: the smallest BSP29 that both engines start: one plane, one node, two
# leafs, one clipnode, one model, no faces. The entity text is a worldspawn whose "message" is
# TITLE (main.qc prints it, which tells which of two same-named maps an engine loaded) and, unless
# START is "nostart", an info_player_start, which makes the BSP a level a player can join.
qf_bsp() {
    local out=$1 title=$2 start=${3:-start}
    local ents
    ents=$(printf '{\n"classname" "worldspawn"\n"message" "%s"\n}\n' "$title")
    if [ "$start" != nostart ]; then
        ents+=$(printf '\n{\n"classname" "info_player_start"\n"origin" "16 0 0"\n}\n')
    fi
    ents+=$'\n'
    # Lump sizes. The entity text is NUL-ended and padded to 4 bytes so later lumps stay aligned.
    local n_ent=$((${#ents} + 1))
    local pad=$(((4 - n_ent % 4) % 4))
    local l_ent=$((n_ent + pad)) l_plane=20 l_tex=4 l_node=24 l_clip=8 l_leaf=56 l_model=64
    # Lump order in the header: entities, planes, textures, vertexes, visibility, nodes, texinfo,
    # faces, lighting, clipnodes, leafs, marksurfaces, edges, surfedges, models.
    local o_ent=124
    local o_plane=$((o_ent + l_ent))
    local o_tex=$((o_plane + l_plane))
    local o_node=$((o_tex + l_tex))
    local o_clip=$((o_node + l_node))
    local o_leaf=$((o_clip + l_clip))
    local o_model=$((o_leaf + l_leaf))
    local o_end=$((o_model + l_model))
    # IEEE-754 bit patterns: 1.0, -4096.0, 4096.0.
    local one=$((0x3f800000)) fmin=$((0xc5800000)) fmax=$((0x45800000))
    {
        qf_le32 29
        qf_le32 "$o_ent" "$l_ent" "$o_plane" "$l_plane" "$o_tex" "$l_tex" "$o_end" 0 "$o_end" 0
        qf_le32 "$o_node" "$l_node" "$o_end" 0 "$o_end" 0 "$o_end" 0 "$o_clip" "$l_clip"
        qf_le32 "$o_leaf" "$l_leaf" "$o_end" 0 "$o_end" 0 "$o_end" 0 "$o_model" "$l_model"
        printf '%s' "$ents"
        qf_zeros $((1 + pad))
        qf_le32 "$one" 0 0 0 0                # plane: normal (1,0,0), dist 0, type PLANE_X
        qf_le32 0                             # textures: no miptex
        qf_le32 0                             # node: plane 0,
        qf_le16 -2 -1                         #   front is leaf 1 (empty), back leaf 0 (solid)
        qf_le16 -4096 -4096 -4096 4096 4096 4096 0 0
        qf_le32 0                             # clipnode: plane 0,
        qf_le16 -1 -2                         #   front CONTENTS_EMPTY, back CONTENTS_SOLID
        qf_le32 -2 -1                         # leaf 0: solid, no vis
        qf_le16 -4096 -4096 -4096 4096 4096 4096 0 0
        qf_zeros 4
        qf_le32 -1 -1                         # leaf 1: empty, no vis
        qf_le16 -4096 -4096 -4096 4096 4096 4096 0 0
        qf_zeros 4
        qf_le32 "$fmin" "$fmin" "$fmin" "$fmax" "$fmax" "$fmax" 0 0 0 # model: bounds, origin
        qf_le32 0 0 0 0 1 0 0                 # headnodes, one vis leaf, no faces
    } >"$out"
}

# qf_pak OUT NAME=FILE...: a PACK archive holding each FILE under the entry NAME (a name longer
# than 55 bytes is cut; use qf_pak_raw to write a damaged directory).
# Layout: "PACK", directory offset, directory length; the data; then 64-byte entries of a
# 56-byte zero-ended name, data offset and data length (all int32 little-endian).
qf_pak() {
    local out=$1
    shift
    local arg name file size off=12
    local -a names=() offs=() sizes=()
    : >"$out.data"
    for arg in "$@"; do
        name=${arg%%=*}
        file=${arg#*=}
        size=$(stat -c %s "$file")
        cat "$file" >>"$out.data"
        names+=("$name")
        offs+=("$off")
        sizes+=("$size")
        off=$((off + size))
    done
    {
        printf PACK
        qf_le32 "$off" $((64 * ${#names[@]}))
        cat "$out.data"
        local i
        for i in "${!names[@]}"; do
            qf_pak_entry "${names[$i]}" "${offs[$i]}" "${sizes[$i]}"
        done
    } >"$out"
    rm -f "$out.data"
}

# qf_pak_entry NAME OFFSET LENGTH: one 64-byte directory entry; NAME is cut at 56 bytes (so a
# 56-byte NAME leaves no zero byte in the field) and zero-padded.
qf_pak_entry() {
    local name=${1:0:56}
    printf '%s' "$name"
    qf_zeros $((56 - ${#name}))
    qf_le32 "$2" "$3"
}

# qf_wad OUT: a WAD2 with no lumps: Quakespasm quits at start without an id1/gfx.wad.
qf_wad() {
    { printf WAD2; qf_le32 0 12; } >"$1"
}

# qf_pop OUT: the 256 bytes of gfx/pop.lmp that Quakespasm checks before it allows -game or a
# pack other than id's own.
qf_pop() {
    local hex=0000000000000000000000000000000000000000660000000000000066000000
    hex+=0000006600000000000000000067000000006665000000000000000000656600
    hex+=0063656100000000000000000061656300646561000000000000000000616564
    hex+=0064656400006469696964000064656400636568620000646864000062686563
    hex+=000065676963006467640063696765000000626667696a6867686a6967666200
    hex+=0000006265666666666666666562000000000000006263646664636200000000
    hex+=0000000000000062666200000000000000000000000000616661000000000000
    hex+=0000000000000000650000000000000000000000000000006400000000000000
    local i bytes=""
    for ((i = 0; i < ${#hex}; i += 2)); do
        bytes+="\\x${hex:i:2}"
    done
    printf "$bytes" >"$1"
}

# qf_progs OUT LABEL [QCDIR]: compiles defs.qc + label.qc + main.qc with fteqcc into OUT, a
# progs.dat whose worldspawn prints "PROBE progs=LABEL map=NAME title=<message>" (developer 1).
# defs.qc keeps the system globals in the order that gives header CRC 5927, the only one
# Quakespasm accepts.
qf_progs() {
    local out=$1 label=$2 qcdir=${3:-$(dirname "${BASH_SOURCE[0]}")}
    local work
    work=$(mktemp -d)
    cp "$qcdir/defs.qc" "$qcdir/main.qc" "$work/"
    printf 'string PROGS_LABEL = "%s";\n' "$label" >"$work/label.qc"
    printf '%s\n' progs.dat defs.qc label.qc main.qc >"$work/progs.src"
    if ! (cd "$work" && fteqcc -srcfile progs.src >"$work/log" 2>&1) || [ ! -s "$work/progs.dat" ]; then
        cat "$work/log" >&2
        rm -rf "$work"
        echo "qf_progs: fteqcc failed" >&2
        return 1
    fi
    cp "$work/progs.dat" "$out"
    rm -rf "$work"
}
