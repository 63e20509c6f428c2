#!/usr/bin/env bash
# Checks a run whose progs.dat lies in a 512 MiB sparse pak0.pak, far from the pack's ends: the pack
# keeps its size, its disk use and every byte but the slots' names (by hash, against the pack as it
# was with the run's window spliced in), and (native builds, with strace)
# the run reads nothing of it but its header, its directory and the copy's first 16,383 bytes. A
# copy longer than that window, and one shorter, with the next entry's bytes right after it.
#
# Usage: sparse_pack.sh VELMORA  (VELMORA_TOOL_OS in the environment: empty for a native build)
set -euo pipefail
velmora=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

size=$((512 << 20)) at=$((300 << 20)) window=16383
# le32 N: N as the four bytes of a little-endian int32, in printf %b's escapes.
le32() { printf '%08x' "$1" | sed 's/\(..\)\(..\)\(..\)\(..\)/\\x\4\\x\3\\x\2\\x\1/'; }
# put OFFSET: standard input written into the pack at OFFSET, holes kept.
put() { dd of=pak0.pak bs=64K seek="$1" oflag=seek_bytes conv=notrunc status=none; }
# entry NAME OFFSET LENGTH: one 64-byte directory entry.
entry() { printf '%-56s' "$1" | tr ' ' '\0'; printf '%b' "$(le32 "$2")$(le32 "$3")"; }
# state FILE: the file's hash, size and disk use.
state() { b2sum <"$1"; stat -c '%s bytes, %b blocks' "$1"; }
# window: the window's bytes, one offset (from the copy's start) and byte a line.
window() {
    dd if=pak0.pak bs=64K skip="$at" count="$window" iflag=skip_bytes,count_bytes status=none |
        od -An -v -tu1 -w1 | nl -v0
}

for k in {0..9}; do echo "LOCALMAP$k = \"packed$k\";"; done >cmaps.cfg
failures=0 filler=$(seq 20000)
for length in 20000 5000; do
    # The ten slots, each a 16-byte name area and its marker, from offset 100 of the copy, amid
    # digits and line feeds (no "t!g" among them), as is the entry right after the copy.
    rm -f pak0.pak && truncate -s "$size" pak0.pak
    { head -c 100 <<<"$filler"
      for k in {0..9}; do printf 'placeholder%d____lt!g%d' "$k" "$k"; done
      head -c $((length - 310 + 4096)) <<<"$filler"; } | put "$at"
    directory=$((size - 128))
    { printf 'PACK%b' "$(le32 "$directory")$(le32 128)"; } | put 0
    { entry progs.dat "$at" "$length"; entry sound/after.wav $((at + length)) 4096; } |
        put "$directory"
    # The pack as it must end: as it was, but for the copy's window, spliced in after the run.
    window >window.before && cp --sparse=always pak0.pak expected.pak

    if [ -z "${VELMORA_TOOL_OS:-}" ] && strace -o /dev/null true 2>/dev/null; then
        # LeakSanitizer cannot stop a traced process: a sanitizer build's check is left off.
        traced=(env ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
                strace -f -y -qq -e "trace=openat,open,lseek,read,pread64" -o "$work/reads.log")
    else
        traced=() # Wine's or Node's calls, or no strace: the reads are not checked
    fi
    if ! output=$("${traced[@]}" "$velmora" 2>&1); then
        echo "sparse_pack: $length-byte copy: velmora failed: $output"
        failures=$((failures + 1))
        continue
    fi
    # Changed bytes must lie in the slots' name areas ([100 + 21k, 116 + 21k)), and some must.
    changed=$(window | diff window.before - | sed -n 's/^> *\([0-9]*\).*/\1/p' || true)
    stray=$(awk '{ k = int(($1 - 100) / 21) } $1 < 100 || k > 9 || $1 - 100 - 21 * k >= 16' \
        <<<"$changed")
    if [ -z "$changed" ] || [ -n "$stray" ]; then
        echo "sparse_pack: $length-byte copy: $(wc -w <<<"$changed") bytes of the window changed," \
            "outside the names at: ${stray:-none}" | tr "\n" " "; echo
        failures=$((failures + 1))
    fi
    copy_window=$((length < window ? length : window))
    dd if=pak0.pak of=expected.pak bs=64K skip="$at" seek="$at" count="$copy_window" conv=notrunc \
        iflag=skip_bytes,count_bytes oflag=seek_bytes status=none
    if [ "$(state pak0.pak)" != "$(state expected.pak)" ]; then
        echo "sparse_pack: $length-byte copy: the pack changed outside the copy's window," \
            "or its size or disk use did"
        failures=$((failures + 1))
    fi
    [ ${#traced[@]} -gt 0 ] || continue
    # Every byte read of the pack: its position follows the file offset that open, lseek and
    # read leave, or pread64's own; each must lie in the header, the directory or the window.
    outside=$(awk -v at="$at" -v end=$((at + copy_window)) \
        -v dir="$directory" -v size="$size" '
        { fd = $0; sub(/^[0-9]+ +/, "", fd); call = fd; sub(/\(.*/, "", call)
          sub(/^[a-z0-9_]+\(/, "", fd); sub(/[,)].*/, "", fd)
          result = $NF; pack = index($0, "pak0.pak>") > 0 }
        (call == "openat" || call == "open") && index($0, "pak0.pak\"") { opened[result] = 1; pos[result] = 0 }
        !pack { next }
        call == "lseek" { pos[fd] = result; next }
        call == "read" || call == "pread64" {
            from = call == "read" ? pos[fd] : $(NF - 2) + 0
            if (call == "read") pos[fd] += result
            if (result > 0 && !(from + result <= 12 || (from >= at && from + result <= end) ||
                                (from >= dir && from + result <= size)))
                print call, "of", result, "bytes at", from
        }' reads.log)
    if [ -n "$outside" ]; then
        echo "sparse_pack: $length-byte copy: read outside the header, directory and window:" \
            "$outside"
        failures=$((failures + 1))
    fi
done
[ ${#traced[@]} -gt 0 ] || echo "sparse_pack: reads not checked (a Wine or WASI build, or no strace)"
echo "sparse_pack: two copies in a 512 MiB sparse pack, $failures failures"
[ "$failures" -eq 0 ]
