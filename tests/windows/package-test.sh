#!/usr/bin/env bash
# The Windows package as a user gets it, under Wine: the zip unpacked into a
# fresh folder, with no Qt or MinGW anywhere on the search path, and
#   - pelkon-cli.exe makes, fills and lists an archive;
#   - pelkon.exe (offscreen) opens it: while it runs the archive is held, so
#     pelkon-cli.exe is refused "in use by another program"; once it is gone,
#     the archive lists again.
# Usage: package-test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir="$1"
build="$2"
work="$(mktemp -d)"
editor=""
cleanup() {
    [ -n "$editor" ] && kill "$editor" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
unset WINEPATH QT_PLUGIN_PATH
export WINEDEBUG=-all

zip="$(bash "$source_dir/scripts/package-windows.sh" "$build" "$work/pelkon-windows-x86_64.zip")"
mkdir "$work/fresh" "$work/data"
(cd "$work/fresh" && cmake -E tar xf "$zip")
app="$work/fresh/pelkon"
echo "the zip holds:"
(cd "$app" && find . -type f | sort)

cd "$work/data"
head -c 5000 /dev/urandom >infernus.dff
cli() { wine "$app/pelkon-cli.exe" "$@"; }
cli new gta3.img
cli add gta3.img infernus.dff
listing="$(cli list gta3.img)"
echo "$listing"
grep -q '^infernus.dff ' <<<"$listing"
[ "$(wine "$app/pelkon.exe" --version)" = "pelkon $(sed -n 's/^project(Pelkon VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")" ]

# Wine passes no QT_ variable on: the platform goes on the command line.
# Its output goes to a file: a Wine process it starts (the desktop's) inherits
# that and outlives it, and must not keep CTest waiting on this test's output.
wine "$app/pelkon.exe" -platform offscreen gta3.img </dev/null >"$work/editor.log" 2>&1 &
editor=$!
held=""
for _ in $(seq 60); do
    if out="$(cli list gta3.img 2>&1)"; then
        sleep 1
        continue
    fi
    held="$out"
    break
done
echo "while pelkon.exe runs: $held"
grep -q 'gta3.img: Cannot open: in use by another program' <<<"$held"
kill "$editor"
wait "$editor" 2>/dev/null || true
editor=""
for _ in $(seq 30); do
    cli list gta3.img >/dev/null 2>&1 && break
    sleep 1
done
cli list gta3.img | grep -q '^infernus.dff '
echo "package test passed"
