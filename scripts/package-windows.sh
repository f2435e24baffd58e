#!/usr/bin/env bash
# Makes pelkon-windows-x86_64.zip from a Windows build (default ./build-windows,
# the cross build): one folder "pelkon" with pelkon.exe and pelkon-cli.exe, the
# Qt and MinGW runtime DLLs and the Qt plugins they load, the README, and the
# licences of everything shipped. Unzipped anywhere, it runs with nothing else
# installed.   Usage: bash scripts/package-windows.sh [BUILD_DIR] [ZIP]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build-windows}" && pwd)"
zip="${2:-$build/pelkon-windows-x86_64.zip}"
bin="$build/bin"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
stage="$work/pelkon"
mkdir -p "$stage/platforms" "$stage/styles" "$stage/licences"

# The programs, and what they load: Qt (Core, Gui, Widgets), the windows
# platform (and offscreen, for running without a desktop), the native style,
# and MinGW's C++ and threads runtime.
for file in pelkon.exe pelkon-cli.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll \
    libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll \
    platforms/qwindows.dll platforms/qoffscreen.dll styles/qwindowsvistastyle.dll; do
    [ -f "$bin/$file" ] || { echo "package-windows: $bin/$file is missing; build first" >&2; exit 1; }
    cp "$bin/$file" "$stage/$file"
done
x86_64-w64-mingw32-strip --strip-debug "$stage"/*.exe

sed 's/$/\r/' "$root/README.md" >"$stage/README.txt"
# Qt is LGPL 3 (shipped as separate, replaceable DLLs); the MinGW runtime is
# GCC's runtime library (GPL 3 with the runtime exception) and winpthreads (MIT).
licences=(
    "/usr/share/doc/libqt6core6/copyright:Qt-copyright.txt"
    "/usr/share/common-licenses/LGPL-3:LGPL-3.txt"
    "/usr/share/common-licenses/GPL-3:GPL-3.txt"
    "/usr/share/doc/gcc-mingw-w64-base/copyright:MinGW-GCC-runtime-copyright.txt"
    "/usr/share/doc/mingw-w64-common/copyright:MinGW-w64-copyright.txt"
)
for item in "${licences[@]}"; do
    source="${item%%:*}"
    [ -f "$source" ] || { echo "package-windows: licence $source is missing" >&2; exit 1; }
    sed 's/$/\r/' "$source" >"$stage/licences/${item#*:}"
done

rm -f "$zip"
(cd "$work" && cmake -E tar cf "$zip" --format=zip pelkon)
echo "$zip"
