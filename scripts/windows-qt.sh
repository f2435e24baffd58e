#!/usr/bin/env bash
# Prints the folder of a Qt 6.4.2 built for Windows x86_64 with MinGW-w64, for
# the cross build (its lib/cmake/Qt6/qt.toolchain.cmake), making it ready first:
#   1. $PELKON_QT_MINGW, when set, is used as it is;
#   2. otherwise the prebuilt tarball qt6-mingw-6.4.2.tar.xz in ../shared/qt6-mingw/
#      beside the repository or in /work/shared/qt6-mingw/ is unpacked into the cache;
#   3. otherwise Qt is built from Debian's own qt6-base source package into the
#      cache (about an hour on two cores).
# The cache is $PELKON_CACHE (default ~/.cache/pelkon), outside the tree; a
# finished unpack or build is reused. Which one was used goes to standard error.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
version=6.4.2
cache="${PELKON_CACHE:-$HOME/.cache/pelkon}"
target="$cache/qt6-mingw-$version"

usable() { [ -f "$1/lib/cmake/Qt6/qt.toolchain.cmake" ] && [ -f "$1/bin/Qt6Core.dll" ]; }

if [ -n "${PELKON_QT_MINGW:-}" ]; then
    usable "$PELKON_QT_MINGW" || {
        echo "windows-qt: PELKON_QT_MINGW=$PELKON_QT_MINGW holds no Qt for MinGW" >&2
        exit 1
    }
    echo "windows-qt: using PELKON_QT_MINGW ($PELKON_QT_MINGW)" >&2
    echo "$PELKON_QT_MINGW"
    exit 0
fi

if usable "$target"; then
    echo "windows-qt: using the cached copy in $target" >&2
    echo "$target"
    exit 0
fi

mkdir -p "$cache"
for tarball in "$root/../shared/qt6-mingw/qt6-mingw-$version.tar.xz" \
    "/work/shared/qt6-mingw/qt6-mingw-$version.tar.xz"; do
    [ -f "$tarball" ] || continue
    echo "windows-qt: unpacking the prebuilt $tarball into $cache" >&2
    # Unpacked beside the target and moved in whole, so an interrupted unpack
    # is never taken for a finished one.
    partial="$(mktemp -d "$cache/unpack.XXXXXX")"
    tar -xJf "$tarball" -C "$partial"
    rm -rf "$target"
    mv "$partial/qt6-mingw-$version" "$target"
    rm -rf "$partial"
    usable "$target" || { echo "windows-qt: $tarball holds no usable Qt" >&2; exit 1; }
    echo "$target"
    exit 0
done

echo "windows-qt: no prebuilt copy found; building Qt $version from Debian's qt6-base source" >&2
bash "$here/build-windows-qt.sh" "$target" >&2
usable "$target" || { echo "windows-qt: the build left no usable Qt in $target" >&2; exit 1; }
echo "$target"
