#!/usr/bin/env bash
# The main job against the phone simulator: bring the phone up, download a firmware image and
# a file system into it, read the file system's status from the same phone, and end with two
# phones downloading at once.
#   examples/demo.sh [BUILD_FOLDER]      (./run demo passes build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
zrk410="$build/cli/zrk410"
image=examples/firmware-200k.bin
qix=examples/filesystem.qix
phone=$(mktemp -d)
trap 'rm -rf "$phone"' EXIT

if [ ! -x "$zrk410" ]; then
    echo "No $zrk410: build first (./run build release)." >&2
    exit 1
fi

echo "== zrk410 crc $image"
"$zrk410" crc "$image"
echo
echo "== zrk410 --sim identify"
"$zrk410" --sim identify
echo
# Paced: the simulated line carries bytes no faster than a real cable at that speed, so the
# times in the log are the times a phone on the desk would take.
# The simulated phone keeps its flash in $phone between the runs, as a real one would.
echo "== zrk410 --sim=pace --speed 921600 --codepage CP1252 download --bin $image --qix $qix"
"$zrk410" --sim="pace,state-out=$phone" --speed 921600 --codepage CP1252 \
    download --bin "$image" --qix "$qix"
echo
echo "== zrk410 --sim status   (the same phone)"
"$zrk410" --sim="preload=$phone" --speed 921600 status
echo
echo "== the phone's NAND now holds"
(cd "$phone/nand" && find . -mindepth 1 | sort)
echo
# Two phones on two cables at once, as a service desk would run them; on a terminal each port
# keeps one line that is redrawn in place.
echo "== zrk410 --sim=pace --phones 2 --speed 921600 --report run.json download --bin $image"
"$zrk410" --sim=pace --phones 2 --speed 921600 --report "$phone/run.json" download --bin "$image"
echo "(the run report: $(wc -c < "$phone/run.json") bytes of JSON, one entry per port and operation)"
