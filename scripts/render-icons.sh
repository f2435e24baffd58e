#!/usr/bin/env bash
# Renders the PNG sizes of the program's icon from its SVG, for desktops that
# ask for a size the SVG is not used at. Run after changing the SVG; the PNGs
# are committed so that building needs no renderer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-packages.sh librsvg2-bin >&2
icons=data/icons/hicolor
name=io.github.pelkon.Pelkon
for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "$icons/${size}x${size}/apps"
    rsvg-convert --width "$size" --height "$size" "$icons/scalable/apps/$name.svg" \
        --output "$icons/${size}x${size}/apps/$name.png"
done
