#!/usr/bin/env bash
# Asks two real engines, DarkPlaces and Quakespasm, whether they start given map names in a game
# folder, so that what Velmora says an engine will start can be checked against the engines
# themselves instead of against what we believe they do.
#
# Usage:
#   ask_engines.sh [--detail] [--logs DIR] [--label L] GAME_DIR MOD NAME...
#       One line per name and engine, tab-separated:
#         NAME<TAB>darkplaces|quakespasm<TAB>started|failed|stopped[<TAB>message]
#       started: the engine spawned the server on maps/NAME.bsp; failed: it did not;
#       stopped: the engine quit before it ran any command (a pack it refuses at start); the
#       message is then the engine's own error line. A "failed" from an engine that died on that
#       map carries its error line too. --detail adds the 4th field to every line: for
#       "started" the loaded map's title (its worldspawn "message") and the progs label, for
#       "failed" the engine's reason.
#   ask_engines.sh [--logs DIR] [--label L] --progs GAME_DIR MOD
#       Which progs.dat each engine ran: "darkplaces<TAB>LABEL", "quakespasm<TAB>LABEL" (the
#       label compiled into it; "none<TAB>message" if no progs ran).
#   ask_engines.sh --make-progs LABEL OUT       a progs.dat that reports LABEL (for --progs)
#   ask_engines.sh --make-bsp OUT TITLE [nostart] a small map (with a player start unless nostart)
#   ask_engines.sh --make-pak OUT ENTRY=FILE... a PACK archive
#
# GAME_DIR holds id1/ and MOD/ (MOD may be id1). It is never changed: the engines run on a copy.
# Environment: ASK_ENGINES_LABEL (label of the progs.dat the harness adds to id1, default
# "harness"), ASK_ENGINES_TIMEOUT (seconds per engine start, default 30), ASK_ENGINES_BATCH
# (names per engine start, default 64), ASK_ENGINES_ENGINES ("darkplaces quakespasm"),
# ASK_ENGINES_CACHE (a folder to keep the compiled progs.dat and shim in between calls; none by
# default), DARKPLACES and QUAKESPASM (the binaries).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=qfiles.sh
. "$here/qfiles.sh"

DARKPLACES=${DARKPLACES:-/usr/games/darkplaces-server}
QUAKESPASM=${QUAKESPASM:-/usr/games/quakespasm}
timeout_s=${ASK_ENGINES_TIMEOUT:-30}
batch=${ASK_ENGINES_BATCH:-64}
engines=${ASK_ENGINES_ENGINES:-darkplaces quakespasm}
label=${ASK_ENGINES_LABEL:-harness}
# The map --progs starts; it is added to the copy's id1 under a name no test uses.
probe_map=ask_engines_probe

usage() {
    sed -n '2,/^set -euo/p' "${BASH_SOURCE[0]}" | sed '$d' | sed 's/^# \{0,1\}//' >&2
    exit 2
}

for engine in $engines; do
    case $engine in
    darkplaces) bin=$DARKPLACES ;;
    quakespasm) bin=$QUAKESPASM ;;
    *) echo "ask_engines: unknown engine '$engine' in ASK_ENGINES_ENGINES" >&2; exit 2 ;;
    esac
    # Otherwise a missing engine would read as "stopped" for every name.
    [ -x "$bin" ] || { echo "ask_engines: no $engine at $bin (apt-get install darkplaces-server quakespasm fteqcc)" >&2; exit 2; }
done

detail=0 logs="" mode=names
while [ $# -gt 0 ]; do
    case $1 in
    --detail) detail=1 ;;
    --logs) logs=$2; shift ;;
    --label) label=$2; shift ;;
    --progs) mode=progs ;;
    --make-progs) [ $# -eq 3 ] || usage; qf_progs "$3" "$2" "$here"; exit ;;
    --make-bsp) [ $# -ge 3 ] || usage; qf_bsp "$2" "$3" "${4:-start}"; exit ;;
    --make-pak) [ $# -ge 2 ] || usage; shift; qf_pak "$@"; exit ;;
    -h | --help) usage ;;
    --) shift; break ;;
    -*) usage ;;
    *) break ;;
    esac
    shift
done
if [ "$mode" = progs ]; then
    [ $# -eq 2 ] || usage
    names=("$probe_map")
else
    [ $# -ge 3 ] || usage
    names=("${@:3}")
fi
game_dir=$1 mod=$2
[ -d "$game_dir" ] || { echo "ask_engines: no folder $game_dir" >&2; exit 2; }
for n in "${names[@]}"; do
    # The names go into a config file as `map "NAME"`: the engines' command parser has no way to
    # quote these characters.
    case $n in *'"'* | *$'\n'* | *$'\r'* | '')
        echo "ask_engines: cannot pass the name '$n' to an engine" >&2; exit 2 ;;
    esac
done

work=$(mktemp -d "${TMPDIR:-/tmp}/ask_engines.XXXXXX")
trap 'rm -rf "$work"' EXIT
game=$work/game
# A copy, so the files Quakespasm needs never land in the caller's folder. Hard links are
# cheap even for a real game; nothing below writes into a file that came from GAME_DIR (files are
# only added when missing, and both engines get a user folder of their own), so the links are
# never written through. Across file systems, a real copy (cp -a keeps a sparse file sparse).
if ! cp -al "$game_dir/." "$game" 2>/dev/null; then
    rm -rf "$game"
    cp -a "$game_dir/." "$game"
fi
mkdir -p "$game/id1/gfx" "$game/id1/progs" "$game/id1/maps" "$work/home" "$work/dpuser"

# Quakespasm quits at start without a gfx.wad, and refuses -game and any pack but id's own
# without the registered gfx/pop.lmp. It also refuses a progs.dat whose header CRC is not 5927,
# and its baseline needs progs/player.mdl (any model; the small BSP serves). Each is added only
# when the game has no such loose file, so a test's own files win. (A progs.dat that a test puts
# only in a pack of id1 meets the added loose one: DarkPlaces would run the loose one.)
id1=$game/id1
[ -e "$id1/gfx.wad" ] || qf_wad "$id1/gfx.wad"
[ -e "$id1/gfx/pop.lmp" ] || qf_pop "$id1/gfx/pop.lmp"
[ -e "$id1/progs/player.mdl" ] || qf_bsp "$id1/progs/player.mdl" player nostart
# cached KEY OUT COMMAND...: runs COMMAND (which writes OUT) unless ASK_ENGINES_CACHE, a folder
# a test suite may give to skip the compilers on every call (0.1 to 0.25 s each), holds KEY already.
# KEY names the inputs' checksum, so an edited source is never served from the cache.
cached() {
    local key=$1 out=$2
    shift 2
    local cache=${ASK_ENGINES_CACHE:-}
    if [ -n "$cache" ] && [ -f "$cache/$key" ]; then
        cp "$cache/$key" "$out"
        return
    fi
    "$@" || return
    if [ -n "$cache" ] && mkdir -p "$cache" 2>/dev/null; then
        # Through a temporary name, so that a parallel run never copies half a file.
        cp "$out" "$cache/$key.$$" && mv -f "$cache/$key.$$" "$cache/$key"
    fi
}
sum() { cat "$@" | cksum | tr ' ' -; }
if [ ! -e "$id1/progs.dat" ]; then
    cached "progs-$(printf '%s' "$label" | cksum | tr ' ' -)-$(sum "$here/defs.qc" "$here/main.qc").dat" \
        "$id1/progs.dat" qf_progs "$id1/progs.dat" "$label" "$here"
fi
[ "$mode" = progs ] && qf_bsp "$game/id1/maps/$probe_map.bsp" "$probe_map"
# Quakespasm would search and create ~/.quakespasm/MOD of the real user (it reads the home folder
# from the password database, not $HOME); a preloaded shim points it at this run's own folder.
qs_preload=""
build_shim() { cc -shared -fPIC -o "$work/userdir_shim.so" "$here/userdir_shim.c" -ldl 2>"$work/cc.log"; }
case " $engines " in *" quakespasm "*)
    if command -v cc >/dev/null &&
        cached "userdir_shim-$(uname -m)-$(sum "$here/userdir_shim.c").so" "$work/userdir_shim.so" build_shim; then
        qs_preload=$work/userdir_shim.so
    else
        echo "ask_engines: no C compiler: Quakespasm also searches ~/.quakespasm/$mod" >&2
    fi
    ;;
esac
# Each engine start execs this config: a marker before and after each map, so that one start can
# ask many names and each output line is told apart by its marker's number. (Starting an engine
# costs 0.1 to 0.2 s; one more name in the same start about 2 ms.)
cfg=ask_engines.cfg

# Both engines run from the copy and name files under it in their messages; we print those
# relative to GAME_DIR, and the engines' user folders as (userdir).
strip_paths() {
    sed -e "s|$game/||g" -e "s|$work/dpuser/|(userdir)/|g" -e "s|$work/home/.quakespasm/|(userdir)/|g"
}

# run ENGINE LOG FIRST LAST: one engine start asking names FIRST..LAST (indexes into names);
# sets run_rc to the exit status (124 or 137 when timeout ended it).
run() {
    local engine=$1 log=$2 first=$3 last=$4 k port
    {
        # The search path, in the order the engine searches it, for a reader of --logs; first,
        # since a map can make an engine quit.
        echo path
        # A name goes in unquoted, as a person types it and as a progs.dat's changelevel
        # passes it: Quakespasm's parser ends such a word at a byte over 0x7f (in quotes
        # it would keep it).
        for ((k = first; k <= last; k++)); do
            printf 'echo "@ask begin %d"\nmap %s\necho "@ask end %d"\n' "$k" "${names[$k]}" "$k"
        done
    } >"$game/id1/$cfg"
    local -a gameargs=()
    [ "$mod" = id1 ] || gameargs=(-game "$mod")
    # A random port so that parallel runs do not meet: Quakespasm quits when its port is taken
    # (DarkPlaces moves to the next one), so try again on another port then.
    local _
    for _ in 1 2 3 4 5; do
        port=$((20000 + RANDOM % 30000))
        case $engine in
        darkplaces)
            run_rc=0
            HOME=$work/home timeout -k 5 "$timeout_s" stdbuf -oL -eL "$DARKPLACES" \
                -basedir "$game" -userdir "$work/dpuser" "${gameargs[@]}" \
                -ip 127.0.0.1 -port "$port" +net_address_ipv6 ::1 +developer 1 \
                +exec "$cfg" +quit </dev/null >"$log" 2>&1 || run_rc=$?
            ;;
        quakespasm)
            # stdbuf -oL: line-buffered, so a timeout or a crash keeps what the engine printed.
            run_rc=0
            HOME=$work/home LD_PRELOAD=$qs_preload SDL_VIDEODRIVER=dummy \
                timeout -k 5 "$timeout_s" stdbuf -oL -eL "$QUAKESPASM" -dedicated 1 \
                -basedir "$game" "${gameargs[@]}" -ip 127.0.0.1 -port "$port" \
                +developer 1 +exec "$cfg" +quit </dev/null >"$log" 2>&1 || run_rc=$?
            ;;
        esac
        grep -q 'Unable to open accept socket' "$log" || break
    done
    rm -f "$game/id1/$cfg"
}

# parse LOG: per marker seen, "K ended(0/1) spawned(0/1) title progs why". Fields are split by
# \037: read would merge empty fields split by tabs.
parse() {
    awk '
    function flush() {
        if (k != "") printf "%s\037%d\037%d\037%s\037%s\037%s\n", k, ended, spawned, title, progs, why
    }
    /^@ask begin [0-9]+ ?$/ { flush(); k = $3; ended = 0; spawned = 0; title = ""; progs = ""; why = ""; next }
    /^@ask end [0-9]+ ?$/ { ended = 1; next }
    k == "" || ended { next }
    /^Server spawned\./ { spawned = 1 }
    /^PROBE progs=/ {
        progs = $0; sub(/^PROBE progs=/, "", progs); sub(/ map=.*/, "", progs)
        title = $0; sub(/^[^<]*</, "", title); sub(/>[ \t]*$/, "", title)
    }
    /no map file named|Couldn.t spawn server|Couldn.t load map|cannot find map/ && why == "" { why = $0 }
    END { flush() }
    ' "$1" | strip_paths
}

# last_words LOG: the engine's own error line when it quit on its own.
last_words() {
    local line
    line=$(grep -E 'QUAKE ERROR:|Host_Error:|Engine Error|Sys_Error' "$1" | tail -n 1 || true)
    [ -n "$line" ] || line=$(grep -v '^[[:space:]]*$' "$1" | tail -n 1 || true)
    printf '%s' "$line" | strip_paths
}

declare -A result=() message=() title=() progs=() died=()
logn=0
for engine in $engines; do
    i=0
    while [ "$i" -lt "${#names[@]}" ]; do
        last=$((i + batch - 1))
        [ "$last" -lt "${#names[@]}" ] || last=$((${#names[@]} - 1))
        logn=$((logn + 1))
        log=$work/$engine.$logn.log
        run "$engine" "$log" "$i" "$last"
        [ -z "$logs" ] || { mkdir -p "$logs"; strip_paths <"$log" >"$logs/$engine.$logn.log"; }
        next=$i seen=0
        while IFS=$'\037' read -r k ended spawned t p why; do
            seen=1
            if [ "$ended" = 1 ]; then
                [ "$spawned" = 1 ] && result[$engine,$k]=started || result[$engine,$k]=failed
                message[$engine,$k]=$why
            else
                # The engine died on this name (or ran out of time): the rest of the batch goes
                # to a new start.
                result[$engine,$k]=failed died[$engine,$k]=1
                case $run_rc in
                124 | 137) message[$engine,$k]="no answer in ${timeout_s} s" ;;
                *) message[$engine,$k]=$(last_words "$log") ;;
                esac
            fi
            title[$engine,$k]=$t progs[$engine,$k]=$p
            next=$((k + 1))
        done < <(parse "$log")
        if [ "$seen" = 0 ]; then
            # Not even the first marker: the engine quit at start, so no name can start.
            case $run_rc in
            124 | 137) words="no answer in ${timeout_s} s" ;;
            *) words=$(last_words "$log") ;;
            esac
            for ((k = i; k < ${#names[@]}; k++)); do
                result[$engine,$k]=stopped message[$engine,$k]=$words
            done
            next=${#names[@]}
        fi
        i=$next
    done
done

for engine in $engines; do
    if [ "$mode" = progs ]; then
        if [ -n "${progs[$engine,0]:-}" ]; then
            printf '%s\t%s\n' "$engine" "${progs[$engine,0]}"
        else
            printf '%s\tnone\t%s\n' "$engine" "${message[$engine,0]:-}"
        fi
    fi
done
[ "$mode" = names ] || exit 0
for k in "${!names[@]}"; do
    for engine in $engines; do
        line="${names[$k]}	$engine	${result[$engine,$k]}"
        case ${result[$engine,$k]} in
        stopped) line+="	${message[$engine,$k]}" ;;
        failed) [ "$detail" = 0 ] && [ -z "${died[$engine,$k]:-}" ] || line+="	${message[$engine,$k]}" ;;
        started) [ "$detail" = 0 ] || line+="	title=<${title[$engine,$k]}> progs=${progs[$engine,$k]}" ;;
        esac
        printf '%s\n' "$line"
    done
done
