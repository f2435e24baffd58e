#!/usr/bin/env bash
# Sets up, builds and starts the editor, on ARCHIVE when one is given.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/setup.sh" >&2
exec "$here/../build/app/pelkon" "$@"
