#!/usr/bin/env bash
# The editor as a user of an installed copy meets it: `cmake --install` into a
# prefix, then /PREFIX/bin/pelkon run by a user who cannot write /PREFIX/bin
# (as root: the user nobody) in a real X server (Xvfb), driven by keys.
# Started on an archive whose name is not UTF-8, it opens it, ends without an
# error box, and on the next start reopens it from File, Reopen; the history
# is in ~/.config/Pelkon/Pelkon.ini, not in the Pelkon.ini beside the program.
# Usage: installed-editor-test.sh CMAKE BUILD_DIR
set -euo pipefail
cmake="$1" build="$2"
fail() {
    echo "FAIL: $*" >&2
    [ -n "${DISPLAY:-}" ] && xdotool search --onlyvisible --name . getwindowname %@ >&2 2>/dev/null
    exit 1
}
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null ||
        fail "$tool is missing: bash scripts/install-packages.sh installs it"
done

work="$(mktemp -d)"
xvfb="" editor=""
cleanup() {
    [ -n "$editor" ] && kill "$editor" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    chmod -R u+w "$work"
    rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"

prefix="$work/prefix"
"$cmake" --install "$build" --prefix "$prefix" >/dev/null
# A Pelkon.ini beside a program the user cannot change is not the user's.
printf '[history]\r\n0=/not/the/users.img\r\n' | tee "$work/beside.ini" >"$prefix/bin/Pelkon.ini"
chmod -R a-w "$prefix/bin"

home="$work/home"
mkdir -p "$home"
archive="$home/caf"$'\xe9'".img"
"$prefix/bin/pelkon-cli" new "$archive" >/dev/null
run_as_user=()
if [ "$(id -u)" -eq 0 ]; then
    chown -R 65534:65534 "$home"
    run_as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -ac 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(cat "$work/display")"

# Starts the installed editor as the user, in the user's home.
start_editor() {
    (cd "$home" && exec "${run_as_user[@]}" env -i HOME="$home" DISPLAY="$DISPLAY" \
        PATH=/usr/bin:/bin QT_QPA_PLATFORM=xcb "$prefix/bin/pelkon" "$@") \
        2>>"$work/editor.log" &
    editor=$!
}
# The one window of that title; an error box would be a second one.
only_window() {
    local found
    found="$(timeout 30 xdotool search --sync --onlyvisible --name "$1")" ||
        fail "no window titled like '$1'"
    [ "$(xdotool search --onlyvisible --name '^Pelkon' | wc -l)" -eq 1 ] ||
        fail "more than the main window is open"
    echo "$found"
}
# Presses keys in the window, as the user types them.
press() {
    xdotool windowfocus --sync "$1"
    shift
    xdotool key --delay 100 "$@"
}
ends_by_itself() {
    for _ in $(seq 300); do
        kill -0 "$editor" 2>/dev/null || {
            editor=""
            return
        }
        sleep 0.1
    done
    fail "the editor did not end: an error box is waiting"
}

start_editor "caf"$'\xe9'".img"
window="$(only_window '^Pelkon - \[')"
[ "$(xdotool getwindowname "$window")" = "Pelkon - [café.img]" ] ||
    fail "the title is '$(xdotool getwindowname "$window")'"
press "$window" alt+F4
ends_by_itself

settings="$home/.config/Pelkon/Pelkon.ini"
[ -f "$settings" ] || fail "no settings file at $settings"
grep -qaF "0=caf"$'\xe9'".img" "$settings" || fail "the history does not hold the path's bytes"
cmp -s "$prefix/bin/Pelkon.ini" "$work/beside.ini" || fail "the Pelkon.ini beside the program changed"

# Next start: File, Reopen, the first entry (its access key is 0).
start_editor
window="$(only_window '^Pelkon$')"
press "$window" alt+f r 0
window="$(only_window '^Pelkon - \[')"
[ "$(xdotool getwindowname "$window")" = "Pelkon - [café.img]" ] ||
    fail "Reopen opened '$(xdotool getwindowname "$window")'"
press "$window" alt+F4
ends_by_itself
echo "installed editor: opened, saved its history as the user, reopened it"
