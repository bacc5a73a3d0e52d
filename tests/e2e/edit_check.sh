#!/usr/bin/env bash
# kivrel --edit on an 1100 x 720 Xvfb screen with SDL's disk audio: Space pauses and 4 jumps to
# bookmark 3 (frame 5208, lit); the screenshot has the UI beside the viewport and that frame in
# it. Ctrl+S writes both files (the header compiles); the file edited on disk to brightness 0
# turns the paused picture black; Escape leaves it running; Ctrl+Q exits 0. Before all that, an
# unknown option is a usage line and exit code 2. The track panel shows the music's waveform, the
# grid of kivrel_grid.json (100 bpm from frame 7: a bar every 144 frames) and the tracks' curves;
# a key dragged with snapping on is saved on a beat's frame. Keys boxed in two rows, dragged by a
# beat, copied and pasted at a bookmark are saved there; a key of the flown camera too.
# Usage: edit_check.sh <kivrel> <output folder>
set -euo pipefail
kivrel=$(realpath "$1")
out=$(realpath -m "$2")
fail() { echo "FAIL: $*"; cat "$out/log.txt" 2>/dev/null | grep -v JSON | tail -5; exit 1; }
if [ -z "${KIVREL_EDIT_CHECK_INSIDE:-}" ]; then
    rm -rf "$out" && mkdir -p "$out/code"
    code=0 && "$kivrel" --edit --frobnicate >"$out/usage.txt" 2>&1 || code=$?
    [ "$code" = 2 ] && grep -q "^usage: kivrel" "$out/usage.txt" || fail "an unknown option: exit code $code"
    KIVREL_EDIT_CHECK_INSIDE=1 exec xvfb-run -a -s "-screen 0 1100x720x24" bash "$0" "$@"
fi
cd "$out"
printf '{"bpm": 100.0, "firstBeatFrame": 7.0, "subdivision": 1, "snapping": true}' >kivrel_grid.json
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null "$kivrel" --edit --render-size 256x144 >log.txt 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
source "$(dirname "$(realpath "$0")")/edit_steps.sh"

wait_for "soundtrack ready"
keys space 4
wait_for "seek to frame 5208"
eval "$(xdotool getwindowgeometry --shell "$(xdotool search --name '^KIVREL$' | head -n 1)")"
shoot && cp shot.png lit.png
# The 1000 x 660 window: the viewport is its top-left 620 x 300 (the panels take 380 on the
# right, 360 below); 256 x 144 fits it 533 pixels wide, from x = 43.
lit=$(mean mean 500x280 53,10)
awk "BEGIN { exit !($lit > 0.02) }" || fail "viewport black at frame 5208: $lit"
# ImGui's dark style: grey panels with blue buttons and frames, where the back buffer is black.
awk "BEGIN { exit !($(mean mean.b-mean.r 380x660 620,0) > 0.01) }" || fail "no UI beside the viewport"

# The track panel: the ruler at y 327, the 40-pixel strip at 353, rows of 20 from 397; the axis
# from x 158, 440 wide. Left channel's blue in the strip, the first curve colour (red) in the rows,
# and bar lines (a bar every 144 frames, 8.6 pixels) through the strip's silence after the music.
count() { convert lit.png -crop "$2+$((X + ${3%%,*}))+$((Y + ${3##*,}))" +repage -fuzz 25% -fill white -opaque "$1" \
    -fill black +opaque white -format "%[fx:mean*w*h]" info:; }
awk "BEGIN { exit !($(count 'rgb(110,190,240)' 380x18 158,354) > 500) }" || fail "no waveform under the ruler"
awk "BEGIN { exit !($(count 'rgb(235,90,90)' 440x250 158,398) > 300) }" || fail "no curves in the rows"
lines=$(convert lit.png -crop "50x1+$((X + 545))+$((Y + 355))" -threshold 30% -format "%[fx:mean*w]" info:)
awk "BEGIN { exit !($lines >= 4) }" || fail "$lines bar lines in 50 pixels of the strip"
control s
wait_for "Saved timeline file"
[ -s kivrel_timeline.json ] && echo '#include "code/kivrel_timeline.json.h"' >header.cpp &&
    c++ -fsyntax-only header.cpp || fail "the saved header does not compile"
blacken_on_disk && shoot
# Brightness moves no particle: the snapshots stay and the paused frame is not stepped again.
[ "$(grep -c "seek to frame" log.txt)" = 1 ] || fail "the reload stepped the particles again"
dark=$(mean mean 500x280 53,10)
awk "BEGIN { exit !($dark < 0.002) }" || fail "the picture at brightness 0 is not black: $dark (was $lit)"

# Snapping: DF::FocusPt's key at 7215 (alone in the silence after the music) dragged 4 pixels
# left (some 67 frames) lands on a beat, 7 + 36 n.
drag_last_focus_key
control s
timeout 30 bash -c 'until [ "$(grep -c "Saved timeline file kivrel" log.txt)" = 2 ]; do sleep 0.5; done' || fail "no second save"
python3 -c 'import json; f = [k["frame"] for k in json.load(open("kivrel_timeline.json"))["DF::FocusPt"]["frames"]]
exit(not (f[-2] == 6829 and (f[-1] - 7) % 36 == 0 and f[-1] != 7215))' || fail "the dragged key is not on a beat"
# Once the snapshots are made between frames, a seek to bookmark 7 (6829) steps at most 299 frames.
wait_for "particle snapshots made" && keys 7 && wait_for "seek to frame 6829"
[ "$(sed -n 's/.*seek to frame 6829, \([0-9]*\) frames.*/\1/p' log.txt)" -le 299 ] || fail "the seek stepped too far"

# Many keys: four wheel notches at the axis's left edge zoom to 6.889 frames a pixel from frame
# 0. A box from frame 675 in DF::FocusSc's row (8) to 1116 in DF::FocusPt's (9) selects 888 and
# 1051 and 905; 1051 held (a press is seen only by a frame: 2 s) and dragged 5 pixels, 34 frames,
# snaps to the next beat, 1087: all three move on 36 frames. Copied, pasted at bookmark 2 (3254).
row() { echo $((Y + 397 + $1 * 20 + 10)); }
xdotool mousemove $((X + 158)) "$(row 8)" && for n in 1 2 3 4; do xdotool click 4 && sleep 0.5; done
xdotool mousemove $((X + 256)) "$(row 8)" && sleep 0.5 && xdotool mousedown 1 && sleep 2
for x in 270 290 310 320; do xdotool mousemove $((X + x)) "$(row 9)" && sleep 0.3; done
xdotool mouseup 1 && wait_for "box selected 3 keys in tracks 8 to 9"
xdotool mousemove $((X + 311)) "$(row 8)" && sleep 0.5 && xdotool mousedown 1 && sleep 2
for x in 312 313 314 315 316; do xdotool mousemove $((X + x)) "$(row 8)" && sleep 0.3; done
xdotool mouseup 1 && wait_for "3 keys moved, the held one from frame 1051 to 1087"
control c && sleep 1 && keys 2 && wait_for "frame 3254, "
control v && wait_for "pasted 3 keys at frame 3254"
# The camera mode from the timeline's camera at 3254 ((0, 0, -157.38), held), flown forward, keyed.
sleep 1 && keys c && wait_for "camera mode on" && keys keydown w sleep 1.5 keyup w key k && wait_for "camera keyed at frame 3254"
control s
timeout 30 bash -c 'until [ "$(grep -c "Saved timeline file kivrel" log.txt)" = 3 ]; do sleep 0.5; done' || fail "no third save"
python3 - <<'PY' || fail "the moved, pasted or camera keys are not saved where they belong"
import json
d = json.load(open("kivrel_timeline.json"))
frames = lambda name: {k["frame"]: k["value"] for k in d[name]["frames"]}
sc, pt, pos = frames("DF::FocusSc"), frames("DF::FocusPt"), frames("CM::Pos")
assert {924, 1087, 3254, 3417} <= set(sc) and not {888, 1051} & set(sc), sorted(sc)
assert {941, 3271} <= set(pt) and 905 not in pt, sorted(pt)
assert 3254 in pos and pos[3254] != pos[1144] and pos[3254][2] != pos[1144][2], (pos.get(3254), pos[1144])
PY
keys Escape && sleep 1 && kill -0 $pid || fail "Escape ended the edit mode"
keys ctrl+q
code=0 && wait $pid || code=$?
[ "$code" = 0 ] || fail "Ctrl+Q: exit code $code"
