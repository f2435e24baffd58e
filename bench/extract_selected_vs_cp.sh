#!/usr/bin/env bash
# Extracting selected entries through the Extract command, against cp on the
# same bytes.
#
#   bench/extract_selected_vs_cp.sh [EDIT_BENCH] [WORK_FOLDER]
#
# EDIT_BENCH defaults to build-edit/bench/edit_bench, WORK_FOLDER to a new
# temporary folder (removed afterwards; it needs about 3 GiB). The archive holds
# 64 entries of 16 MiB (1 GiB); every row is selected and extracted. cp copies the
# data file, the same 1 GiB. Each timing is the best of RUNS (5) runs with a warm
# page cache; extraction is timed inside edit_bench, without the program's start.
# Target: extraction reaches at least 75% of cp's throughput.
set -euo pipefail

bench=$(realpath "${1:-build-edit/bench/edit_bench}")
if [[ -n "${2:-}" ]]; then
    work=$(realpath "$2")
    keep=1
else
    work=$(mktemp -d "${TMPDIR:-/tmp}/pelkon-edit-bench-XXXXXX")
    keep=0
fi
cleanup() { if [[ $keep == 0 ]]; then rm -rf "$work"; fi; }
trap cleanup EXIT
cd "$work"

entries=64
mebibytes=16
total_mib=$((entries * mebibytes))
runs=${RUNS:-5}

"$bench" make archive.img "$entries" "$mebibytes"
cat archive.img > /dev/null # warm the page cache for both sides

seconds_of() {
    local start end
    start=$(date +%s.%N)
    "$@"
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}

best_cp=""
best_extract=""
time_cp() {
    rm -f copy.img
    sync
    local t
    t=$(seconds_of cp archive.img copy.img)
    if [[ -z $best_cp ]] || (($(echo "$t < $best_cp" | bc -l))); then best_cp=$t; fi
    rm -f copy.img
}
time_extract() {
    rm -rf out && mkdir out
    sync
    local t
    t=$("$bench" extract archive.img out)
    if [[ -z $best_extract ]] || (($(echo "$t < $best_extract" | bc -l))); then best_extract=$t; fi
    rm -rf out
}
# Alternated, so that neither side always follows the other's writeback.
for ((run = 0; run < runs; run++)); do
    if ((run % 2 == 0)); then
        time_cp
        time_extract
    else
        time_extract
        time_cp
    fi
done

cp_speed=$(echo "$total_mib / $best_cp" | bc -l)
extract_speed=$(echo "$total_mib / $best_extract" | bc -l)
ratio=$(echo "$extract_speed / $cp_speed" | bc -l)
printf 'cp of %d MiB:                 %.3f s, %.0f MiB/s\n' "$total_mib" "$best_cp" "$cp_speed"
printf 'ExtractSelected of %d MiB:    %.3f s, %.0f MiB/s\n' "$total_mib" "$best_extract" "$extract_speed"
printf 'ratio %.2f (target >= 0.75)\n' "$ratio"
