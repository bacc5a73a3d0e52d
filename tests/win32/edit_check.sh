#!/usr/bin/env bash
# kivrel.exe --edit under Wine and Xvfb, WinMM into ALSA's null device: the Linux edit check's
# steps (tests/e2e/edit_check.sh) that the Win32 side changes. Bookmark 3 (frame 5208, lit) with
# the UI beside it; a drag, Ctrl+Z, Ctrl+Y, each saved with Ctrl+S (the header compiles); the
# window minimised, restored and resized from another Win32 process; the file set to brightness
# 0 on disk blackens the paused picture; played on, WinMM's clock moves it; Ctrl+Q exits 0.
# Usage: edit_check.sh <kivrel.exe> <window_command.exe> <output folder>
set -euo pipefail
kivrel=$(realpath "$1")
command=$(realpath "$2")
out=$(realpath -m "$3")
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "FAIL: $*"; grep -v JSON "$out/log.txt" 2>/dev/null | tail -8; exit 1; }
if [ -z "${KIVREL_EDIT_CHECK_INSIDE:-}" ]; then
    rm -rf "$out" && mkdir -p "$out/code"
    KIVREL_EDIT_CHECK_INSIDE=1 exec xvfb-run -a -s "-screen 0 1100x720x24" bash "$0" "$@"
fi
cd "$out"
# One prefix for the program and the window commands: one wineserver sees both.
export KIVREL_WINEPREFIX=${KIVREL_WINEPREFIX:-$out/prefix}
[ -d "$KIVREL_WINEPREFIX/drive_c" ] || bash "$here/wine_run.sh" prepare "$KIVREL_WINEPREFIX"
bash "$here/wine_run.sh" "$kivrel" --edit --render-size 256x144 >log.txt 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
source "$here/../e2e/edit_steps.sh"
# The Nth Ctrl+S, then DF::FocusPt's last key (7215 as the piece has it) in the saved file.
save() { control s && timeout 30 bash -c "until [ \$(grep -c 'Saved timeline file header' log.txt) = $1 ]; do sleep 0.5; done" &&
    python3 -c 'import json; print(json.load(open("kivrel_timeline.json"))["DF::FocusPt"]["frames"][-1]["frame"])'; }
# The viewport (the top-left, less 380 pixels of panels on the right) lit, the UI's blue beside it.
expect_shown() {
    shoot && eval "$(xdotool getwindowgeometry --shell "$(window)")"
    awk "BEGIN { exit !($(mean mean 200x100 100,20) > 0.02) }" || fail "viewport black $1"
    awk "BEGIN { exit !($(mean mean.b-mean.r 380x500 $((WIDTH - 380)),0) > 0.01) }" || fail "no UI beside the viewport $1"
}

wait_for "soundtrack ready" && keys space 4 && wait_for "seek to frame 5208" && expect_shown "at frame 5208"
drag_last_focus_key
moved=$(save 1) && [ "$moved" != 7215 ] || fail "the drag did not move the key"
echo '#include "code/kivrel_timeline.json.h"' >header.cpp
x86_64-w64-mingw32-g++-posix -std=c++20 -fsyntax-only header.cpp || fail "the saved header does not compile"
control z && [ "$(save 2)" = 7215 ] || fail "Ctrl+Z did not undo the drag"
control y && [ "$(save 3)" = "$moved" ] || fail "Ctrl+Y did not redo the drag"

bash "$here/wine_run.sh" "$command" minimise && sleep 2
kill -0 $pid || fail "minimised, the edit mode ended"
bash "$here/wine_run.sh" "$command" restore && expect_shown "after a restore"
bash "$here/wine_run.sh" "$command" resize 900 640 && expect_shown "after a resize to 900 x 640"

blacken_on_disk && shoot
awk "BEGIN { exit !($(mean mean 200x100 100,20) < 0.002) }" || fail "the picture at brightness 0 is not black"

keys space && sleep 4 && control q
code=0 && wait $pid || code=$?
[ "$code" = 0 ] || fail "Ctrl+Q: exit code $code"
closed=$(sed -n 's/.*edit mode closed at frame \([0-9]*\).*/\1/p' log.txt)
[ "${closed:-0}" -gt 5268 ] || fail "played on from 5208, the picture stopped at frame ${closed:-none}"
! grep -q "Audio Error" log.txt || fail "WinMM did not play"
echo PASS
