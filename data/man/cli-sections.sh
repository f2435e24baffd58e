#!/usr/bin/env bash
# Writes help2man's include for pelkon-cli from the program's own help: the
# synopsis and a section per command from `pelkon-cli COMMAND --help`, so the
# manual changes with the commands. Usage: cli-sections.sh PELKON_CLI OUTPUT
set -euo pipefail
cli="$1"
output="$2"

# The names listed under "Commands:" in the top-level help.
commands="$("$cli" --help | sed -n '/^Commands:/,/^$/{/^  [a-z]/p}' | awk '{print $1}')"
if [ -z "$commands" ]; then
    echo "cli-sections.sh: no commands found in '$cli --help'" >&2
    exit 1
fi

# Help text as roff: backslashes escaped, no line read as a request.
roff() {
    sed -e 's/\\/\\e/g' -e "s/^[.']/\\\\\&&/"
}

{
    echo "[SYNOPSIS]"
    for command in $commands; do
        "$cli" "$command" --help | sed -n '1s/^Usage: //p' | roff
        echo ".br"
    done
    echo "pelkon-cli COMMAND --help"
    echo ".br"
    echo "pelkon-cli --help | --version"
    echo
    # The top-level help less its usage lines and its list of commands.
    echo "[=DESCRIPTION]"
    "$cli" --help | sed -e '1,/^$/d' -e '/^Commands:/,/^$/d' | roff | sed 's/^$/.PP/'
    echo
    echo "[COMMANDS]"
    for command in $commands; do
        echo ".SS $command"
        echo ".nf"
        "$cli" "$command" --help | roff
        echo ".fi"
    done
} >"$output"
