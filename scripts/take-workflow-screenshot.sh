#!/usr/bin/env bash
# Takes the README's picture of the modder's workflow: the real editor under
# Xvfb on a sample archive in which two changed files have replaced their
# entries, filtered to *.txd with the rows shown selected. Writes
# data/screenshots/workflow.png; builds first when needed.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
bash scripts/install-packages.sh xvfb openbox xdotool imagemagick fonts-dejavu-core >&2
[ -x build/app/pelkon ] && [ -x build/cli/pelkon-cli ] || bash scripts/setup.sh >&2

work="$(mktemp -d)"
xvfb=""
wm=""
editor=""
cleanup() {
    [ -n "$editor" ] && kill "$editor" 2>/dev/null
    [ -n "$wm" ] && kill "$wm" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# Models and textures of a few vehicles, then new versions of two of them
# imported over the old ones, whose data is left as dead space.
mkdir -p "$work/files" "$work/mods"
sizes=(infernus.dff:41 infernus.txd:64 cheetah.dff:38 cheetah.txd:70 police.dff:35
    police.txd:52 taxi.dff:33 taxi.txd:47 generic.txd:120 wheels.dff:9 wheels.txd:24
    industsa.col:18 radar00.txd:6)
for item in "${sizes[@]}"; do
    head -c "$((${item#*:} * 1024))" /dev/urandom >"$work/files/${item%:*}"
done
head -c 45000 /dev/urandom >"$work/mods/infernus.dff"
head -c 80000 /dev/urandom >"$work/mods/infernus.txd"
cli="$root/build/cli/pelkon-cli"
"$cli" new "$work/gta3.img" >/dev/null
"$cli" add "$work/gta3.img" "$work/files"/* >/dev/null
"$cli" add --replace "$work/gta3.img" "$work/mods"/* >/dev/null

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
# A window manager, so that the window has its title bar as on a desktop.
openbox >/dev/null 2>&1 &
wm=$!
sleep 1

cd "$work"
HOME="$work" XDG_CONFIG_HOME="$work/.config" QT_QPA_PLATFORM=xcb \
    "$root/build/app/pelkon" gta3.img 2>/dev/null &
editor=$!
window="$(timeout 30 xdotool search --sync --onlyvisible --name '^Pelkon - \[')"
xdotool windowsize --sync "$window" 760 470
xdotool windowfocus --sync "$window"
# Ctrl+F, the filter, back to the list, every row shown selected.
xdotool key --window "$window" ctrl+f
xdotool type --window "$window" --delay 60 '*.txd'
xdotool key --window "$window" Down ctrl+a
sleep 1
mkdir -p "$root/data/screenshots"
import -frame -window "$window" "$root/data/screenshots/workflow.png"
identify "$root/data/screenshots/workflow.png"
