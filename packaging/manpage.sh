#!/usr/bin/env bash
# Writes a program's manual page from its own --help and --version (help2man), with a section
# per command made from each command's --help, so that the page follows the program; OUTPUT
# and, for installing, OUTPUT.gz.
#   manpage.sh PROGRAM NAME "SUMMARY" OUTPUT [INCLUDE...]
set -euo pipefail
program="$1" name="$2" summary="$3" output="$4"
shift 4
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The commands listed in a help text's "Subcommands:" block.
commands_in() {
    awk '/^[A-Z][A-Za-z ]*:$/ { block = $0; next }
         block == "Subcommands:" && /^  [a-z][a-z0-9-]* / { print $1 }'
}

# roff for one command's help: its usage as the heading, its description, its options.
command_section() {
    awk -v title="$1" '
        function esc(s) { gsub(/\\/, "\\\\", s); gsub(/-/, "\\-", s); sub(/^[.'"'"']/, "\\\\&&", s); return s }
        function term(t,   parts, names, n, i, out) {
            split(t, parts, " ")
            n = split(parts[1], names, ",")
            for (i = 1; i <= n; i++)
                out = out (i > 1 ? ", " : "") (names[i] ~ /^-/ ? "\\fB" esc(names[i]) "\\fR" : "\\fI" esc(names[i]) "\\fR")
            if (parts[2] != "" && parts[2] != parts[1]) out = out " " esc(parts[2])
            return out
        }
        function flush() { if (pending != "") { print ".TP"; print term(pending); print esc(desc) } pending = ""; desc = "" }
        BEGIN { printf ".SS \"%s\"\n", title }
        /^Usage:/ { in_desc = 0; next }
        /^[A-Z][A-Za-z ]*:$/ { flush(); block = $0; next }
        block == "" { if ($0 != "") { print esc($0) } ; next }
        block == "Options:" || block == "Positionals:" {
            if ($0 ~ /^      /) { sub(/^ +/, ""); desc = desc (desc == "" ? "" : " ") $0; next }
            if ($0 ~ /^  [^ ]/) {
                flush()
                line = substr($0, 3)
                if (match(line, /   +/)) { pending = substr(line, 1, RSTART - 1); desc = substr(line, RSTART + RLENGTH) }
                else { pending = line }
                if (pending ~ /^-h,--help/) pending = ""
            }
        }
        END { flush() }'
}

walk() {
    local help
    help="$("$program" "$@" --help)"
    if [ $# -gt 0 ]; then
        local usage
        usage="$(printf '%s\n' "$help" | sed -n 's/^Usage: //p' | head -n1)"
        printf '%s\n' "$help" | command_section "${usage:-$name $*}" >>"$work/commands"
    fi
    local c
    for c in $(printf '%s\n' "$help" | commands_in); do
        walk "$@" "$c"
    done
}

includes=()
if "$program" --help | commands_in | grep -q .; then
    echo "[COMMANDS]" >"$work/commands"
    walk
    includes+=(--include "$work/commands")
fi
for i in "$@"; do includes+=(--include "$i"); done

help2man --no-info --no-discard-stderr --name "$summary" "${includes[@]}" \
    --output "$work/page" "$program"
# The build tree's path must not show where the program calls itself by argv[0].
sed -i "s|$(dirname "$program")/||g" "$work/page"
gzip -9n -c "$work/page" >"$output.gz"
mv "$work/page" "$output"
