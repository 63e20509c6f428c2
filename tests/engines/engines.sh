# Sourced by the scripts that ask DarkPlaces and Quakespasm, the real engines: how to build the
# progs.dat they run and how to start each one headless, kept in one place so that every question
# is put to the engines the same way. The sourcing script sets `work`, a folder of its run.
# shellcheck shell=bash disable=SC2154 # work: set by the script that sources this
engines_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# need_engines NAME: exits 77 (skipped, for CTest) when an engine or the compiler is missing.
need_engines() {
    local tool
    for tool in /usr/games/darkplaces-server /usr/games/quakespasm fteqcc cc; do
        if ! command -v "$tool" >/dev/null; then
            echo "$1: $tool is missing (Debian: apt-get install darkplaces-server quakespasm fteqcc)"
            exit 77
        fi
    done
}

# compile_progs OUT LABEL [QC...]: a progs.dat both engines run, whose worldspawn prints
# `PROBE progs=LABEL map=NAME title=<message>` and whatever the extra QC files add. defs.qc keeps
# the globals in the order that gives the header CRC Quakespasm insists on (5927), and main.qc's
# worldspawn precaches progs/player.mdl, without which Quakespasm cannot start a map.
compile_progs() {
    local out=$1 label=$2 dir
    shift 2
    dir=$(mktemp -d -p "$work")
    cp "$engines_dir/defs.qc" "$engines_dir/main.qc" "$@" "$dir/"
    echo "string PROGS_LABEL = \"$label\";" >"$dir/label.qc"
    printf '%s\n' progs.dat defs.qc label.qc "${@##*/}" main.qc >"$dir/progs.src"
    if ! (cd "$dir" && fteqcc -srcfile progs.src >fteqcc.log 2>&1); then
        cat "$dir/fteqcc.log" >&2
        exit 1
    fi
    mv "$dir/progs.dat" "$out"
}

# start_engine darkplaces|quakespasm GAME_DIR MOD COMMAND...: one start of the engine, headless,
# on GAME_DIR with MOD as the game, running the + commands given; prints what it printed.
start_engine() {
    local engine=$1 game=$2 gameargs=() port=$((20000 + RANDOM % 30000))
    [ "$3" = id1 ] || gameargs=(-game "$3")
    shift 3
    # Quakespasm searches <home>/.quakespasm/MOD first, taking <home> from the password database:
    # the shim makes it $HOME, a folder of this run, so the real home is neither read nor written.
    if [ ! -f "$work/home.so" ]; then
        cc -shared -fPIC -o "$work/home.so" "$engines_dir/userdir_shim.c" -ldl
        mkdir -p "$work/home"
    fi
    if [ "$engine" = darkplaces ]; then
        HOME=$work/home timeout -k 5 30 stdbuf -oL /usr/games/darkplaces-server -basedir \
            "$game" -userdir "$work/home" "${gameargs[@]}" -ip 127.0.0.1 -port "$port" \
            +net_address_ipv6 ::1 +developer 1 "$@" </dev/null 2>&1 || true
    else
        HOME=$work/home LD_PRELOAD=$work/home.so SDL_VIDEODRIVER=dummy timeout -k 5 30 \
            stdbuf -oL /usr/games/quakespasm -dedicated 1 -basedir "$game" "${gameargs[@]}" \
            -ip 127.0.0.1 -port "$port" +developer 1 "$@" </dev/null 2>&1 || true
    fi
}
