#!/usr/bin/env bash
# Every command and every option that a program's --help lists (and, for each command, that
# command's --help) appears in its manual page.
#   manpage_test.sh PROGRAM PAGE
set -uo pipefail
program="$1" page="$2"
name="$(basename "$program")"
failures=0

# The page's words without roff's font changes and escapes.
text="$(sed -e 's/\\f[BIRP]//g; s/\\f(..//g; s/\\,//g; s/\\\///g; s/\\-/-/g; s/\\&//g' "$page")"

check() {
    local help
    if ! help="$("$program" "$@" --help)"; then
        echo "FAIL: $name $* --help failed"
        failures=$((failures + 1))
        return
    fi
    local option
    for option in $(grep -oE -- '--[a-z][a-z0-9-]*' <<<"$help" | sort -u); do
        if ! grep -qE -- "(^|[^a-z0-9-])$option([^a-z0-9-]|$)" <<<"$text"; then
            echo "FAIL: '$name $* $option' is not in $page"
            failures=$((failures + 1))
        fi
    done
    local command
    for command in $(awk '/^[A-Z][A-Za-z ]*:$/ { block = $0; next }
                          block == "Subcommands:" && /^  [a-z][a-z0-9-]* / { print $1 }' <<<"$help"); do
        local full="$name${*:+ $*} $command"
        if ! grep -qE "^\.SS \"$full( |\")" <<<"$text"; then
            echo "FAIL: the command '$full' has no section in $page"
            failures=$((failures + 1))
        fi
        check "$@" "$command"
    done
}

check
grep -q "^\.TH" "$page" || { echo "FAIL: $page is not a manual page"; failures=$((failures + 1)); }
[ "$failures" -eq 0 ] && echo "$page documents every command and option of $name"
exit $((failures > 0))
