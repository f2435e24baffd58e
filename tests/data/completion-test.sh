#!/usr/bin/env bash
# pelkon-cli's bash completion against the program's real help: commands,
# options, an option's values and folders, and archives for the first argument.
# Usage: completion-test.sh PELKON_CLI COMPLETION_FILE
set -euo pipefail
cli="$1"
source "$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir models
touch gta3.img notes.txt

failures=0
# expect "WORDS..." "COMPLETIONS": the line being completed, its last word the
# one under the cursor, and the completions offered, in order.
expect() {
    read -ra COMP_WORDS <<<"$1"
    [[ $1 == *" " ]] && COMP_WORDS+=("")
    COMP_WORDS[0]="$cli"
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _pelkon_cli
    local got="${COMPREPLY[*]}"
    if [ "$got" != "$2" ]; then
        echo "FAIL: '$1' completes to '$got', not '$2'" >&2
        failures=$((failures + 1))
    fi
}

expect "pelkon-cli " "new list add extract delete rename check rebuild compact convert --help --version"
expect "pelkon-cli re" "rename rebuild"
expect "pelkon-cli c" "check compact convert"
expect "pelkon-cli list gta3.img --" "--desc --json --sort --help"
expect "pelkon-cli list gta3.img --sort " "name type size"
expect "pelkon-cli list gta3.img --sort s" "size"
expect "pelkon-cli extract gta3.img -" "--all -C --help"
expect "pelkon-cli extract gta3.img -C " "models"
expect "pelkon-cli delete gta3.img a.dff --d" "--dry-run"
expect "pelkon-cli check " "models gta3.img"
expect "pelkon-cli add gta3.img n" "notes.txt"
[ "$failures" -eq 0 ] || exit 1
echo "completion: every case completes as expected"
