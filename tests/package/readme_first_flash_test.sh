#!/usr/bin/env bash
# The README's first page is what a technician follows on day one: every zrk410 command it
# names must exist, and the lines it shows must be what the program prints against the simulator.
#   readme_first_flash_test.sh README BINDIR SOURCEDIR
set -uo pipefail
readme="$1" bindir="$(cd "$2" && pwd)" source="$(cd "$3" && pwd)"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

page="$(awk '/^## / { n++ } n == 1' "$readme")"
grep -q '^## Your first flash' <<<"$page" || fail "the README does not open with its first flash"

# Every command the page names answers --help.
for command in $(grep -oE 'zrk410 (--port [A-Za-z0-9]+ )?[a-z]+' <<<"$page" | awk '{ print $NF }' | sort -u); do
    "$bindir/zrk410" "$command" --help >/dev/null 2>&1 || fail "zrk410 $command (named on the first page) is no command"
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0"

shown() { # the lines of the page's indented examples that start with $1
    grep -E "^ +$1" <<<"$page" | sed -E 's/^ +//'
}

identify="$("$bindir/zrk410" --sim identify 2>/dev/null)" || fail "zrk410 --sim identify failed"
while IFS= read -r line; do
    [ -n "$line" ] && ! grep -qxF "$line" <<<"$identify" && fail "identify does not print '$line'"
done < <(shown 'Checking FLASH ID'; shown 'Flash: ')

download="$("$bindir/zrk410" --sim download --bin "$source/examples/firmware-200k.bin" --verify 2>/dev/null)" ||
    fail "the simulated download with verify failed"
grep -q '^Verify OK: 204800 bytes in 4 sectors, CRC-32 ' <<<"$download" || fail "no 'Verify OK' line"
grep -qx 'Download completed!' <<<"$download" || fail "no 'Download completed!' line"

ports="$("$bindir/zrk410" ports 2>&1)"
[ $? -le 2 ] || fail "zrk410 ports failed: $ports"

[ "$failures" -eq 0 ] && echo "the first page holds"
exit $((failures > 0))
