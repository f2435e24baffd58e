#!/usr/bin/env bash
# Sets up, builds and runs every test (the window tests run offscreen).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/setup.sh"
ctest --test-dir "$here/../build" --output-on-failure -j2
