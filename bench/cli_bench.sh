#!/usr/bin/env bash
# Speed of pelkon-cli on large archives, against cp on the same bytes.
#
#   bench/cli_bench.sh [PELKON_CLI] [WORK_FOLDER]
#
# PELKON_CLI defaults to build-cli/cli/pelkon-cli. WORK_FOLDER defaults to a new
# folder under /dev/shm (or $TMPDIR when /dev/shm has less than 5 GiB free) and
# is removed afterwards; it needs about 4 GiB. On a disk, write-back of earlier
# runs makes the copying figures vary widely; a memory file system measures the
# program rather than the disk.
#
# Each figure is the best of five rounds; the commands being compared run in
# turn within each round, so they share the machine's conditions.
#   list    of 1,000,000 entries          target: <= 1 s
#   check   of 1,000,000 entries          (reported)
#   extract --all of 1 GiB (512 entries)  target: >= 80% of cp's speed
#   rebuild of 1 GiB (512 entries)        target: >= 70% of cp's speed
#                                         (rebuild fsyncs its copy, so cp
#                                         followed by sync is shown as well)
set -euo pipefail

cli=$(realpath "${1:-build-cli/cli/pelkon-cli}")
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
echo "work folder: $work ($(stat -f -c %T "$work"))"

rounds=5
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
# in scrambled order so that sorting has work to do.
write_directory() {
    perl -e '
        my ($count, $sectors) = @ARGV;
        my @types = ("dff", "txd", "col", "ifp");
        binmode STDOUT;
        for my $i (0 .. $count - 1) {
            my $key = ($i * 7919) % $count;
            print pack("VVa24", $i * $sectors, $sectors,
                       sprintf("entry%07d.%s", $key, $types[$i % 4]));
        }' "$1" "$2"
}

echo "== 1,000,000 entries"
write_directory 1000000 1 >million.dir
truncate -s $((1000000 * 2048)) million.img
for _ in $(seq $rounds); do
    measure "list" "$cli" list million.img
    measure "list --sort type" "$cli" list million.img --sort type
    measure "list --json" "$cli" list million.img --json
    measure "check" "$cli" check million.img
done
report "list"
report "list --sort type"
report "list --json"
report "check"
rm -f million.img million.dir

echo "== 1 GiB in 512 entries of 2 MiB"
head -c $((1024 * 1024 * 1024)) /dev/urandom >big.img
write_directory 512 1024 >big.dir
for _ in $(seq $rounds); do
    rm -f copy.img
    measure "cp" cp big.img copy.img
    rm -f copy.img
    measure "cp + sync" sh -c 'cp big.img copy.img && sync copy.img'
    rm -f copy.img
    rm -rf out && mkdir out
    measure "extract --all" "$cli" extract big.img --all -C out
    rm -rf out
    rm -f r.img r.dir
    measure "rebuild" "$cli" rebuild big.img r.img
    rm -f r.img r.dir
done
report "cp"
report "cp + sync"
report "extract --all"
report "rebuild"
# Speed of $2 as a share of $1's: by wall time, and by CPU time, which a
# machine busy with other work disturbs less.
percent() {
    printf '%3.0f%% wall, %3.0f%% cpu' \
        "$(echo "100 * ${best_wall[$1]} / ${best_wall[$2]}" | bc -l)" \
        "$(echo "100 * ${best_cpu[$1]} / ${best_cpu[$2]}" | bc -l)"
}
echo "extract --all: $(percent cp "extract --all") of cp (target >= 80%)"
echo "rebuild:       $(percent cp rebuild) of cp (target >= 70%)"
echo "               $(percent "cp + sync" rebuild) of cp + sync"
