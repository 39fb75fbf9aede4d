#!/usr/bin/env bash
# zrk410-gui --screenshots on a fresh Xvfb display: every window is drawn through the real
# desktop platform, and the program ends with status 0 and nothing on its error output.
#   real_display_test.sh PROGRAM
set -uo pipefail
program="$1"
command -v Xvfb >/dev/null || { echo "Xvfb is not installed"; exit 77; }

work="$(mktemp -d)"
server=
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# The server picks a free display number and writes it to fd 3 once it listens.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
server=$!
for _ in $(seq 300); do
    [ -s "$work/display" ] && break
    kill -0 "$server" 2>/dev/null || { cat "$work/xvfb.log"; echo "Xvfb did not start"; exit 77; }
    sleep 0.1
done
[ -s "$work/display" ] || { echo "Xvfb gave no display"; exit 77; }

export DISPLAY=":$(tr -d '[:space:]' <"$work/display")" QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home"
mkdir -m 700 "$XDG_RUNTIME_DIR" "$HOME"
"$program" --screenshots "$work/shots" >"$work/out" 2>"$work/err"
status=$?
failed=0
if [ "$status" -ne 0 ]; then
    echo "FAIL: exit status $status"
    failed=1
fi
if [ -s "$work/err" ]; then
    echo "FAIL: the program wrote to its error output:"
    head -n 40 "$work/err"
    failed=1
fi
for shot in main-startup main-locked about sectors explorer explorer-nand-dump; do
    [ -s "$work/shots/$shot.png" ] || { echo "FAIL: no $shot.png"; failed=1; }
done
exit "$failed"
