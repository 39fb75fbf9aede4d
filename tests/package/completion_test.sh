#!/usr/bin/env bash
# The bash completion in a bash shell: COMP_WORDS and COMP_CWORD set as bash sets them, the
# completion function called, COMPREPLY compared.
#   completion_test.sh COMPLETION-FILE PROGRAM-FOLDER...
set -uo pipefail
completion="$1"
shift
for dir in "$@"; do PATH="$dir:$PATH"; done
export PATH
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
touch "$scratch/firmware.bin" "$scratch/fs.qix" "$scratch/fs.cfg"
mkdir "$scratch/shots"

# shellcheck source=/dev/null
source "$completion"
failures=0

complete_words() {
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMPREPLY=()
    _zrk410
    printf '%s\n' "${COMPREPLY[@]}" | sort
}

# expect "WANTED WORDS" WORDS...: the candidates are exactly these.
expect() {
    local wanted got
    wanted="$(tr ' ' '\n' <<<"$1" | grep . | sort)"
    shift
    got="$(complete_words "$@")"
    if [ "$got" != "$wanted" ]; then
        echo "FAIL: [$*] offered {$(echo $got)}, wanted {$(echo $wanted)}"
        failures=$((failures + 1))
    fi
}

# offers WORD WORDS...: WORD is among the candidates.
offers() {
    local word="$1"
    shift
    if ! complete_words "$@" | grep -qxF -- "$word"; then
        echo "FAIL: [$*] does not offer $word"
        failures=$((failures + 1))
    fi
}

# Every command of --help, and nothing else, at the start; the same one level down.
commands="$(zrk410 --help | awk '/^[A-Z][A-Za-z ]*:$/ { b = $0; next } b == "Subcommands:" && /^  [a-z]/ { print $1 }')"
expect "$commands" zrk410 ""
expect "ls get rm stat nand-dump pull backup" zrk410 fs ""
expect "download dump doctor" zrk410 d
# Options, global and of the command reached; option values do not count as commands.
offers --port zrk410 --
offers --version zrk410 --
expect "--power-on" zrk410 --port COM3 download --po
expect "--pages" zrk410 --speed 921600 fs nand-dump --pa
expect "--yes" zrk410 -q format --y
offers --port zrk410 doctor --
# Port names: COM1..COM20 and the serial devices present.
ports="$(seq -f 'COM%g' 1 20)"
expect "$ports" zrk410 --port C
expect "COM2 COM20" zrk410 doctor --port COM2
for device in /dev/tty[A-Z]*; do
    [ -e "$device" ] && offers "$device" zrk410 --port ""
done
# Values from the option's own list.
expect "115200 230400 460800 921600" zrk410 --speed ""
expect "all" zrk410 erase --sectors a
# Files, for the options and arguments that take one.
expect "$scratch/firmware.bin" zrk410 download --bin "$scratch/fi"
expect "$scratch/fs.qix" zrk410 download --bin x --qix "$scratch/fs.q"
expect "$scratch/fs.cfg" zrk410 crc "$scratch/fs.c"
expect "$scratch/firmware.bin" zrk410 dump --sectors all --out "$scratch/fi"
expect "$scratch/shots" zrk410-gui --screenshots "$scratch/sh"
# The other programs, and the simulator's options after the window's --sim.
offers --latency zrk410-phonesim --la
offers --version zrk410-gui --
expect "--pace" zrk410-gui --sim --pa

[ "$failures" -eq 0 ] && echo "the completion offers what was expected"
exit $((failures > 0))
