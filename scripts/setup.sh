#!/usr/bin/env bash
# Installs what Pelkon needs to build, test and run on Debian 12, then
# configures and builds it in ./build.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-packages.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELKON_WERROR=ON
cmake --build build
