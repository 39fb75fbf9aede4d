#!/usr/bin/env bash
# The main job against the phone simulator: bring the phone up, then download a firmware image.
#   examples/demo.sh [BUILD_FOLDER]      (./run demo passes build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
zrk410="$build/cli/zrk410"
image=examples/firmware-200k.bin

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
echo "== zrk410 --sim=pace --speed 921600 download --bin $image"
"$zrk410" --sim=pace --speed 921600 download --bin "$image"
