#!/usr/bin/env bash
# Builds Qt 6.4.2's qtbase for Windows x86_64 with Debian's MinGW-w64 and
# installs it into PREFIX: Core, Gui, Widgets and Test, with the windows and
# offscreen platform plugins - what pelkon.exe and its tests need. The source is
# Debian's own qt6-base package; moc, rcc and uic come from Debian's Qt of the
# same version. About an hour on two cores; scripts/windows-qt.sh calls it when
# no prebuilt copy is at hand.   Usage: bash scripts/build-windows-qt.sh PREFIX
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
prefix="${1:?usage: build-windows-qt.sh PREFIX}"
source_version=6.4.2+dfsg-10
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

bash "$here/install-packages.sh" g++-mingw-w64-x86-64-posix xz-utils dpkg-dev >&2
# The source package needs a deb-src line; Debian 12's own archive has it.
if ! apt-cache showsrc qt6-base 2>/dev/null | grep -q "^Version: $source_version"; then
    printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm' \
        'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
        $sudo tee /etc/apt/sources.list.d/pelkon-qt6-base-source.sources >/dev/null
    $sudo apt-get update -qq
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
apt-get source --download-only "qt6-base=$source_version" >/dev/null
tar -xf qt6-base_6.4.2+dfsg.orig.tar.xz
src="$work/qtbase-everywhere-src-6.4.2"

# Debian's source has no wintab headers, so the platform plugins are built
# without tablet input, which an archive editor never takes.
plugins="$src/src/plugins/platforms"
sed -i 's|#if QT_CONFIG(tabletevent)|#if 0 // built without the wintab headers|' \
    "$plugins/windows/qwindowscontext.cpp" "$plugins/windows/qwindowspointerhandler.cpp"
sed -i 's|CONDITION QT_FEATURE_tabletevent|CONDITION FALSE|' \
    "$plugins/windows/CMakeLists.txt" "$plugins/direct2d/CMakeLists.txt"

mkdir build
cd build
"$src/configure" -prefix "$prefix" -xplatform win32-g++ -qt-host-path /usr -release \
    -nomake examples -nomake tests -nomake benchmarks \
    -no-opengl -no-dbus -no-icu -no-openssl -no-feature-sql -no-feature-network \
    -qt-zlib -qt-libpng -qt-libjpeg -qt-pcre -qt-freetype -qt-harfbuzz \
    -- -G Ninja -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_TOOLCHAIN_FILE="$here/../cmake/mingw-w64-x86_64.cmake"
cmake --build . --parallel "$(nproc)"
cmake --install .
echo "Qt for MinGW-w64 installed in $prefix"
