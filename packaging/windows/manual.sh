#!/usr/bin/env bash
# Writes the command line's manual as a text file for Windows, from the program's own --help
# and each command's (run under the given emulator, Wine, when the program is built for
# Windows elsewhere), with Windows line ends so that Notepad shows it.
#   manual.sh OUTPUT PROGRAM [EMULATOR...]
set -euo pipefail
output="$1" program="$2"
shift 2
run() { "$@" "$program" "${arguments[@]}" 2>/dev/null | tr -d '\r'; }

arguments=(--help)
top="$(run "$@")"
arguments=(--version)
version="$(run "$@")"
{
    echo "$version"
    echo
    echo "$top"
    # The commands listed in the help text's "Subcommands:" block, each with its own help.
    for command in $(awk '/^[A-Z][A-Za-z ]*:$/ { block = $0; next }
                          block == "Subcommands:" && /^  [a-z][a-z0-9-]* / { print $1 }' <<<"$top"); do
        echo
        echo "=== zrk410 $command"
        echo
        arguments=("$command" --help)
        run "$@"
    done
} | sed 's/$/\r/' >"$output.new"
mv "$output.new" "$output"
