#!/usr/bin/env bash
# Reliability run: every test under AddressSanitizer and UndefinedBehaviorSanitizer,
# then each fuzz target for a while from its seed corpus. Fails on any finding.
# Builds in ./build-asan and ./build-fuzz. FUZZ_SECONDS sets each fuzzer's run.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
fuzz_seconds="${FUZZ_SECONDS:-60}"

bash scripts/install-packages.sh clang libclang-rt-14-dev

echo "== sanitizer build and tests"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPELKON_SANITIZE=ON -DPELKON_BUILD_UI=ON -DPELKON_BUILD_BENCH=OFF -DPELKON_WERROR=ON
cmake --build build-asan
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/tests/reliability/lsan-suppressions.txt"
ctest --test-dir build-asan --output-on-failure -j2

echo "== fuzzers"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPELKON_FUZZ=ON -DPELKON_BUILD_UI=ON -DPELKON_BUILD_BENCH=OFF -DPELKON_WERROR=ON
cmake --build build-fuzz --target fuzz_archive fuzz_names fuzz_settings fuzz_single_file

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# The targets write scratch files each run: memory-backed storage keeps their
# fsyncs from dominating.
scratch="$work"
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch=/dev/shm
for target in archive names settings single_file; do
    corpus="$work/corpus-$target"
    mkdir -p "$corpus"
    cp fuzz/corpus/"${target//_/-}"/* "$corpus"/
    echo "-- fuzz_$target for ${fuzz_seconds}s"
    TMPDIR="$scratch" "build-fuzz/fuzz/fuzz_$target" -max_total_time="$fuzz_seconds" \
        -print_final_stats=1 -artifact_prefix="$work/" "$corpus" 2>"$work/$target.log" || {
        tail -n 60 "$work/$target.log"
        echo "fuzz_$target found a fault" >&2
        exit 1
    }
    grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$work/$target.log" || true
done
echo "== reliability run passed"
