#!/usr/bin/env bash
# What `cmake --install` lays out: desktop files valid to the freedesktop and
# AppStream validators and agreeing with each other on the editor's id, its
# icon in every size a desktop asks for, its screenshot and its version; the
# programs' versions, asked without a display; the manuals and the completion.
# Usage: installed-files-test.sh CMAKE BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
cmake="$1" build="$2" source="$3" version="$4"
id=io.github.pelkon.Pelkon
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
for tool in desktop-file-validate appstreamcli; do
    command -v "$tool" >/dev/null ||
        fail "$tool is missing: bash scripts/install-packages.sh installs it"
done

prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" >/dev/null
share="$prefix/share"
desktop="$share/applications/$id.desktop"
metainfo="$share/metainfo/$id.metainfo.xml"

desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects $metainfo"
# validate-tree also checks that the metadata's launchable names an installed desktop file.
appstreamcli validate-tree --no-net "$prefix" || fail "appstreamcli rejects the installed tree"

grep -qx "MimeType=application/x-raw-disk-image;" "$desktop" || fail "the desktop entry does not open .img files"
grep -qx "Exec=pelkon %f" "$desktop" || fail "the desktop entry does not start pelkon on a file"
[ -x "$prefix/bin/pelkon" ] || fail "pelkon is not installed"
icon="$(sed -n 's/^Icon=//p' "$desktop")"
[ "$icon" = "$id" ] || fail "the desktop entry's icon is '$icon', not the editor's id"
[ -f "$share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon"
for size in 16 32 48 256; do
    png="$share/icons/hicolor/${size}x${size}/apps/$icon.png"
    [ -f "$png" ] || fail "no ${size}px icon"
    # A PNG's width and height stand as 32-bit numbers at bytes 16 and 20.
    read -r w h < <(od -An -tu4 --endian=big -j16 -N8 "$png")
    [ "$w $h" = "$size $size" ] || fail "the ${size}px icon is ${w}x${h}"
done

# The screenshot is the committed PNG, at the size the metadata states.
image="$(grep -o '<image[^<]*</image>' "$metainfo")"
url="$(sed 's/.*>\(.*\)<.*/\1/' <<<"$image")"
file="$source/${url#*/main/}"
[ -f "$file" ] || fail "the screenshot $url is not in the source tree ($file)"
read -r w h < <(od -An -tu4 --endian=big -j16 -N8 "$file")
grep -q "width=\"$w\" height=\"$h\"" <<<"$image" || fail "the screenshot is ${w}x${h}, not as stated"

grep -q "<release version=\"$version\"" "$metainfo" ||
    fail "the metadata has no release $version, the version the programs report"

for program in pelkon pelkon-cli; do
    said="$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$prefix/bin/$program" --version)" ||
        fail "$program --version failed"
    [ "$said" = "$program $version" ] || fail "$program --version says '$said'"
    for answer in --version --help; do
        if "$prefix/bin/$program" $answer >/dev/full 2>/dev/null; then
            fail "$program $answer to a full device exits 0"
        fi
    done
    grep -q "^\.TH .*\"$program $version\"" "$share/man/man1/$program.1" ||
        fail "no manual page for $program $version"
done
[ -f "$share/bash-completion/completions/pelkon-cli" ] || fail "no completion for pelkon-cli"
echo "installed files: valid and consistent"
