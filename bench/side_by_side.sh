#!/usr/bin/env bash
# This build's core and pelkon-cli against another build's, in one run: each
# core benchmark is run for the old build and then the new one, one group at a
# time, so both meet the same conditions; then cli_bench.sh measures both
# command lines in the same rounds.
#
#   bench/side_by_side.sh OLD_BUILD [NEW_BUILD]
#
# OLD_BUILD is a build folder of the version compared against (for example
# `git worktree add /tmp/old <commit>` built into /tmp/old-build with
# -DPELKON_BUILD_UI=OFF); NEW_BUILD defaults to ./build. Set CLI=0 to leave the
# command-line figures out.
set -euo pipefail
old=$(realpath "$1")
new=$(realpath "${2:-build}")
here="$(cd "$(dirname "$0")" && pwd)"

for group in BM_Open BM_TableMemory 'BM_Sort/' BM_Check BM_PurgeDeleted; do
    for build in "$old" "$new"; do
        echo "== $group: $build"
        "$build/bench/core_bench" --benchmark_filter="$group" 2>/dev/null |
            grep -E '^BM_' || echo "(not in this build)"
    done
done
if [[ "${CLI:-1}" != 0 ]]; then
    OLD_CLI="$old/cli/pelkon-cli" "$here/cli_bench.sh" "$new/cli/pelkon-cli"
fi
