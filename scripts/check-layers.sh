#!/usr/bin/env bash
# Checks that each layer includes only the layers below it:
#   platform <- archive <- sorting <- cli
#   platform <- history (QtCore)
#   everything but cli <- ui <- app
# and that the core and the command line include no Qt.
set -euo pipefail
cd "$(dirname "$0")/.."

# folder: the folders of ours it must not include
declare -A forbidden=(
    [platform]="archive sorting history ui cli app"
    [archive]="sorting history ui cli app"
    [sorting]="history ui cli app"
    [history]="archive sorting ui cli app"
    [cli]="history ui app"
    [ui]="cli app"
    [app]="cli"
)
no_qt="platform archive sorting cli"

status=0
for folder in "${!forbidden[@]}"; do
    [ -d "$folder" ] || continue
    for other in ${forbidden[$folder]}; do
        if found=$(grep -rnE "^\s*#\s*include\s*[\"<]$other/" "$folder" --include='*.h' --include='*.cpp'); then
            echo "$folder must not include $other/:" >&2
            echo "$found" >&2
            status=1
        fi
    done
done
for folder in $no_qt; do
    if found=$(grep -rnE '^\s*#\s*include\s*<Q' "$folder" --include='*.h' --include='*.cpp'); then
        echo "$folder must not include Qt:" >&2
        echo "$found" >&2
        status=1
    fi
done
[ "$status" -eq 0 ] && echo "layers: every include goes down"
exit "$status"
