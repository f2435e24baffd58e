#!/bin/sh
# Extracting a 1 GiB entry with the archive object against `cp` of the same
# bytes, in one run on one disk. The entry fills the data file from byte 0, so
# `cp` of the data file copies exactly the bytes that extraction copies.
#
#   bench/extract_vs_cp.sh [build folder]    (default: build-bench)
# Environment: ROUNDS (default 3), SIZE_MIB (default 1024), TMPDIR, and
# CACHE=warm to measure from a warm page cache even where it could be dropped.
set -eu

SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$SRC/build-bench}
ROUNDS=${ROUNDS:-3}
SIZE_MIB=${SIZE_MIB:-1024}

if [ ! -f "$BUILD/build.ninja" ]; then
    cmake -S "$SRC" -B "$BUILD" -G Ninja -DPELKON_BUILD_UI=OFF -DPELKON_BUILD_BENCH=ON >/dev/null
fi
ninja -C "$BUILD" extract_bench >/dev/null
TOOL="$BUILD/bench/extract_bench"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/pelkon-extract-XXXXXX")
trap 'rm -rf "$WORK"' EXIT INT TERM
"$TOOL" make "$WORK/one.img" "$SIZE_MIB"

# Both copies start from the same cache state: cold when the page cache can be
# dropped, otherwise with the source read into it beforehand.
if [ "${CACHE:-}" != warm ] && sync && (echo 3 >/proc/sys/vm/drop_caches) 2>/dev/null; then
    CACHE="cold (page cache dropped before each copy)"
    prepare() { sync; echo 3 >/proc/sys/vm/drop_caches; }
else
    CACHE="warm (source read into the page cache before each copy)"
    prepare() { sync; cat "$WORK/one.img" >/dev/null; }
fi

now() { date +%s%N; }

# Each copy prints its duration in nanoseconds; its output is then flushed to
# disk (untimed) and removed, so writeback never overlaps the next copy.
# extract_bench times itself from creating the file to closing it, as the
# editor has the archive open already; cp is timed as a whole process.
extract() {
    prepare
    "$TOOL" extract "$WORK/one.img" "$WORK/extracted"
    sync
    rm -f "$WORK/extracted"
}
copy() {
    prepare
    start=$(now)
    cp "$WORK/one.img" "$WORK/copied"
    end=$(now)
    echo $((end - start))
    sync
    rm -f "$WORK/copied"
}

best_extract=
best_cp=
round=1
while [ "$round" -le "$ROUNDS" ]; do
    # Alternate which goes first, so neither always follows the other's writeback.
    if [ $((round % 2)) -eq 1 ]; then
        e=$(extract)
        c=$(copy)
    else
        c=$(copy)
        e=$(extract)
    fi
    printf 'round %d: extract %6.3f s   cp %6.3f s\n' "$round" \
        "$(echo "$e" | awk '{print $1 / 1e9}')" "$(echo "$c" | awk '{print $1 / 1e9}')"
    if [ -z "$best_extract" ] || [ "$e" -lt "$best_extract" ]; then best_extract=$e; fi
    if [ -z "$best_cp" ] || [ "$c" -lt "$best_cp" ]; then best_cp=$c; fi
    round=$((round + 1))
done

# The extracted bytes must be the entry's bytes, or the timing means nothing.
"$TOOL" extract "$WORK/one.img" "$WORK/extracted" >/dev/null
cmp -s "$WORK/one.img" "$WORK/extracted" || { echo "extracted bytes differ" >&2; exit 1; }

awk -v mib="$SIZE_MIB" -v e="$best_extract" -v c="$best_cp" -v cache="$CACHE" 'BEGIN {
    te = mib / (e / 1e9); tc = mib / (c / 1e9);
    printf "%d MiB, best of the rounds, %s\n", mib, cache;
    printf "ExtractEntry: %8.1f MiB/s\n", te;
    printf "cp:           %8.1f MiB/s\n", tc;
    printf "ratio extract/cp: %.2f (target >= 0.80)\n", te / tc;
}'
