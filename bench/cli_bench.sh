#!/usr/bin/env bash
# Speed of pelkon-cli on large archives, against cp on the same bytes.
#
#   bench/cli_bench.sh [PELKON_CLI] [WORK_FOLDER]
#
# PELKON_CLI defaults to build-cli/cli/pelkon-cli. With OLD_CLI set to another
# build's pelkon-cli, every figure is measured for both in the same rounds, so
# the two can be compared side by side. WORK_FOLDER defaults to a new
# folder under /dev/shm (or $TMPDIR when /dev/shm has less than 5 GiB free) and
# is removed afterwards; it needs about 4 GiB. On a disk, write-back of earlier
# runs makes the copying figures vary widely; a memory file system measures the
# program rather than the disk.
#
# Each figure is the best of five rounds; the commands being compared run in
# turn within each round, so they share the machine's conditions.
#   list    of 1,000,000 entries          target: <= 1 s
#   check   of 1,000,000 entries          target: <= 1 s
#   extract --all of 1 GiB (512 entries)  target: >= 90% of cp's speed
#   rebuild of 1 GiB (512 entries)        target: >= 90% of cp's speed
#                                         (rebuild fsyncs its copy, so cp
#                                         followed by sync is shown as well)
#   compact of 1 GiB (512 entries, their  target: >= 90% of cp's speed, its
#     data in reversed order)             peak memory (RSS) within the table
#                                         and a constant buffer
#   the single-file kind, 1 GiB: convert  target: >= 90% of cp's speed each
#   of the pair to one file and back,
#   rebuild and compact of the one file
# ROUNDS=N sets the number of rounds.
set -euo pipefail

cli=$(realpath "${1:-build-cli/cli/pelkon-cli}")
old=""
[[ -n "${OLD_CLI:-}" ]] && old=$(realpath "$OLD_CLI")
if [[ -n "${2:-}" ]]; then
    mkdir -p "$2"
    work=$(mktemp -d "$(realpath "$2")/pelkon-bench-XXXXXX")
elif [[ -d /dev/shm ]] && (($(df --output=avail -k /dev/shm | tail -1) > 5 * 1024 * 1024)); then
    work=$(mktemp -d /dev/shm/pelkon-bench-XXXXXX)
else
    work=$(mktemp -d "${TMPDIR:-/tmp}/pelkon-bench-XXXXXX")
fi
trap 'rm -rf "$work"' EXIT
cd "$work"
echo "pelkon-cli: $cli"
[[ -n "$old" ]] && echo "old pelkon-cli: $old"
echo "work folder: $work ($(stat -f -c %T "$work"))"

rounds=${ROUNDS:-5}
declare -A best_wall best_cpu

# Runs "$@" once, output discarded, and keeps the best wall and CPU seconds
# under the name $1.
measure() {
    local name=$1 wall cpu
    shift
    /usr/bin/time -o times.txt -f '%e %U %S' "$@" >/dev/null
    read -r wall user sys <times.txt
    cpu=$(echo "$user + $sys" | bc -l)
    if [[ -z "${best_wall[$name]:-}" ]] || (($(echo "$wall < ${best_wall[$name]}" | bc -l))); then
        best_wall[$name]=$wall
    fi
    if [[ -z "${best_cpu[$name]:-}" ]] || (($(echo "$cpu < ${best_cpu[$name]}" | bc -l))); then
        best_cpu[$name]=$cpu
    fi
}

report() { printf '%-18s %7.2f s wall  %7.2f s cpu\n' "$1" "${best_wall[$1]}" "${best_cpu[$1]}"; }

# Directory records: COUNT entries of SECTORS sectors each, packed, with names
# in scrambled order so that sorting has work to do. With a third argument,
# the records point at the data in reversed order, as edits leave it.
write_directory() {
    perl -e '
        my ($count, $sectors, $reversed) = @ARGV;
        my @types = ("dff", "txd", "col", "ifp");
        binmode STDOUT;
        for my $i (0 .. $count - 1) {
            my $key = ($i * 7919) % $count;
            my $place = $reversed ? $count - 1 - $i : $i;
            print pack("VVa24", $place * $sectors, $sectors,
                       sprintf("entry%07d.%s", $key, $types[$i % 4]));
        }' "$1" "$2" "${3:-}"
}

# The peak memory (resident set) of "$@" in kB, output discarded.
peak_rss() {
    /usr/bin/time -o rss.txt -f '%M' "$@" >/dev/null
    cat rss.txt
}

echo "== 1,000,000 entries"
write_directory 1000000 1 >million.dir
truncate -s $((1000000 * 2048)) million.img
# Runs a pelkon-cli measurement for this build and, when given, the old one.
both() {
    local name=$1
    shift
    measure "$name" "$cli" "$@"
    if [[ -n "$old" ]]; then measure "old $name" "$old" "$@" || true; fi
}
report_both() {
    report "$1"
    if [[ -n "$old" ]]; then report "old $1"; fi
}

for _ in $(seq $rounds); do
    both "list" list million.img
    both "list --sort type" list million.img --sort type
    both "list --json" list million.img --json
    both "check" check million.img
done
report_both "list"
report_both "list --sort type"
report_both "list --json"
report_both "check"
rm -f million.img million.dir

echo "== 1 GiB in 512 entries of 2 MiB"
head -c $((1024 * 1024 * 1024)) /dev/urandom >big.img
write_directory 512 1024 >big.dir
write_directory 512 1024 reversed >reversed.dir
for _ in $(seq $rounds); do
    rm -f copy.img
    measure "cp" cp big.img copy.img
    rm -f copy.img
    measure "cp + sync" sh -c 'cp big.img copy.img && sync copy.img'
    rm -f copy.img
    rm -rf out && mkdir out
    measure "extract --all" "$cli" extract big.img --all -C out
    if [[ -n "$old" ]]; then
        rm -rf out && mkdir out
        measure "old extract --all" "$old" extract big.img --all -C out
    fi
    rm -rf out
    rm -f r.img r.dir
    measure "rebuild" "$cli" rebuild big.img r.img
    rm -f r.img r.dir
    if [[ -n "$old" ]]; then measure "old rebuild" "$old" rebuild big.img r.img; fi
    rm -f r.img r.dir
    # Compacted in place: each round on a fresh copy of the untidy pair.
    cp big.img c.img && cp reversed.dir c.dir
    measure "compact" "$cli" compact c.img
    rm -f c.img c.dir
    if [[ -n "$old" ]]; then
        cp big.img c.img && cp reversed.dir c.dir
        measure "old compact" "$old" compact c.img || true
        rm -f c.img c.dir
    fi
    # The single-file kind (this build only): the same bytes as one file.
    rm -f v2.img
    measure "convert to v2" "$cli" convert big.img v2.img --format v2
    rm -f p.img p.dir
    measure "convert to v1" "$cli" convert v2.img p.img --format v1
    rm -f p.img p.dir r2.img
    measure "rebuild v2" "$cli" rebuild v2.img r2.img
    rm -f r2.img
    measure "compact v2" "$cli" compact v2.img
    rm -f v2.img
done
report "cp"
report "cp + sync"
report_both "extract --all"
report_both "rebuild"
report_both "compact"
report "convert to v2"
report "convert to v1"
report "rebuild v2"
report "compact v2"
# Speed of $2 as a share of $1's: by wall time, and by CPU time, which a
# machine busy with other work disturbs less.
percent() {
    printf '%3.0f%% wall, %3.0f%% cpu' \
        "$(echo "100 * ${best_wall[$1]} / ${best_wall[$2]}" | bc -l)" \
        "$(echo "100 * ${best_cpu[$1]} / ${best_cpu[$2]}" | bc -l)"
}
echo "extract --all: $(percent cp "extract --all") of cp (target >= 90%)"
echo "rebuild:       $(percent cp rebuild) of cp (target >= 90%)"
echo "               $(percent "cp + sync" rebuild) of cp + sync"
echo "compact:       $(percent cp compact) of cp (target >= 90%)"
echo "               $(percent "cp + sync" compact) of cp + sync"
for name in "convert to v2" "convert to v1" "rebuild v2" "compact v2"; do
    printf '%-14s %s of cp (target >= 90%%), %s of cp + sync\n' "$name:" \
        "$(percent cp "$name")" "$(percent "cp + sync" "$name")"
done
cp big.img c.img && cp reversed.dir c.dir
echo "peak memory: compact $(peak_rss "$cli" compact c.img) kB, cp $(peak_rss cp big.img copy.img) kB," \
    "list of the same pair $(peak_rss "$cli" list c.img) kB"
rm -f c.img c.dir copy.img
if [[ -n "$old" ]]; then
    echo "old extract --all: $(percent cp "old extract --all") of cp"
    echo "old rebuild:       $(percent cp "old rebuild") of cp"
    echo "old compact:       $(percent cp "old compact") of cp"
fi
