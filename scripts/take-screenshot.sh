#!/usr/bin/env bash
# Takes the screenshot the AppStream metadata shows: the real editor window
# under Xvfb on a small sample archive, written to
# data/screenshots/main-window.png. Builds first when needed.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
bash scripts/install-packages.sh xvfb xdotool imagemagick fonts-dejavu-core >&2
[ -x build/app/pelkon ] && [ -x build/cli/pelkon-cli ] || bash scripts/setup.sh >&2

work="$(mktemp -d)"
xvfb=""
cleanup() {
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# A sample pair: models and textures of a few vehicles and a map piece.
mkdir -p "$work/files" "$work/home"
sizes=(infernus.dff:41 infernus.txd:64 cheetah.dff:38 cheetah.txd:70 police.dff:35
    police.txd:52 taxi.dff:33 taxi.txd:47 generic.txd:120 wheels.dff:9 wheels.txd:24
    industsa.col:18 industsa.ipl:3 radar00.txd:6)
for item in "${sizes[@]}"; do
    head -c "$((${item#*:} * 1024))" /dev/urandom >"$work/files/${item%:*}"
done
build/cli/pelkon-cli new "$work/gta3.img" >/dev/null
build/cli/pelkon-cli add "$work/gta3.img" "$work/files"/* >/dev/null

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

# The user's settings stay untouched: the run keeps its history in $work.
cd "$work"
HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" QT_QPA_PLATFORM=xcb \
    "$root/build/app/pelkon" gta3.img 2>/dev/null &
editor=$!
window="$(timeout 30 xdotool search --sync --onlyvisible --name '^Pelkon - \[')"
xdotool windowfocus --sync "$window"
# Select a row, as a user looking at an entry would.
xdotool mousemove --window "$window" 120 100 click 1
sleep 1
mkdir -p "$root/data/screenshots"
import -window "$window" "$root/data/screenshots/main-window.png"
kill "$editor"
identify "$root/data/screenshots/main-window.png"
