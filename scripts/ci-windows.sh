#!/usr/bin/env bash
# The Windows build in CI: cross-builds everything (core, pelkon-cli, the
# window, every test suite) with Debian's MinGW-w64 against the Qt that
# scripts/windows-qt.sh provides, runs every suite under Wine - the package
# test included, which unzips pelkon-windows-x86_64.zip into a fresh folder -
# and leaves the zip in build-windows/. Wine keeps its own prefix in the build
# folder. Prints how long each step took.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

step() {
    local name="$1"
    shift
    local start=$SECONDS
    "$@"
    echo "== windows: $name took $((SECONDS - start)) s"
}

install() {
    bash scripts/install-packages.sh g++-mingw-w64-x86-64-posix googletest wine wine64 xz-utils dpkg-dev \
        fonts-dejavu-core
}
step "installing the cross compiler and Wine" install

PELKON_QT_MINGW="$(bash scripts/windows-qt.sh)"
export PELKON_QT_MINGW

configure() {
    cmake --preset windows-cross -DPELKON_WERROR=ON
}
step "configuring" configure
step "cross-building" cmake --build build-windows -j"$(nproc)"

export WINEPREFIX="$root/build-windows/wine-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no .NET or Gecko installer prompts
unset DISPLAY
# One server for the whole run, with Wine's own services started here, away
# from the tests: a service started by the first test program would inherit
# its output and keep CTest waiting for it to end.
prepare_wine() {
    wineserver --kill 2>/dev/null || true # one left by an earlier run of this script
    mkdir -p "$WINEPREFIX"                 # the server starts in it; wineboot fills it
    wineserver --persistent
    wineboot --init </dev/null >/dev/null 2>&1
}
trap 'wineserver --kill 2>/dev/null || true' EXIT
step "preparing Wine" prepare_wine
step "running every suite under Wine" ctest --test-dir build-windows --output-on-failure -j2
step "packaging" bash scripts/package-windows.sh build-windows
