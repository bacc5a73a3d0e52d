#!/usr/bin/env bash
# The piece itself under Xvfb (320 x 180 screen) with SDL's disk audio driver, three runs:
#  A. the test build from frame 1650 (title in, scene lit), validation layer on: the screen is
#     black while the soundtrack is prepared, then shows the picture; the recorded sound matches
#     the soundtrack tool's output from the start of playback; Escape ends it with exit code 0
#     after shutdown and no validation error;
#  B. kivrel as played: closing the window once the music plays ends it with exit code 0 after
#     shutdown;
#  C. the test build with a PANIC forced in the first frame with the soundtrack ready: exit
#     code 255 (-1) and the timeline saved as kivrel_timeline.json and code/kivrel_timeline.json.h,
#     the same text as the compiled-in one.
# lavapipe takes seconds per 1920 x 1080 frame, so each run shows only a few frames.
# Usage: piece_check.sh <kivrel> <kivrel_test_build> <kivrel-soundtrack> <close_window>
#                       <compare_audio.py> <source dir> <output folder>
set -euo pipefail
kivrel=$1
test_build=$2
soundtrack=$3
close_window=$4
compare_audio=$5
source_dir=$6
out=$7
rm -rf "$out"
mkdir -p "$out"/run-a "$out"/run-b "$out"/run-c/code

fail() {
    echo "FAIL: $*"
    exit 1
}

"$soundtrack" "$out/soundtrack.wav" >"$out/soundtrack-log.txt" 2>&1 || fail "kivrel-soundtrack: $(cat "$out/soundtrack-log.txt")"

# Runs inside xvfb-run: <run folder> <program and arguments...>. Helpers for the runs below.
cat >"$out/helpers.sh" <<'EOF'
wait_for() { # wait_for <pattern> <file> <pid>: false if the program ended first
    for _ in $(seq 1 6000); do
        grep -q "$1" "$2" && return 0
        kill -0 "$3" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}
window_id() { xdotool search --sync --name "^KIVREL$" | head -n 1; }
EOF

# >>A: black, then the picture; audio; Escape
xvfb-run -a -s "-screen 0 320x180x24" bash -c '
    source "$1/helpers.sh"; run=$1/run-a; test_build=$2
    cd "$run"
    SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$run/audio.raw" "$test_build" --first-frame 1650 --validation >log.txt 2>&1 &
    pid=$!
    # The first scene frame takes lavapipe seconds: until it is presented the screen shows
    # the frames that only prepared the soundtrack.
    wait_for "soundtrack ready, playing" log.txt $pid && import -window root preparing.png
    # The frame after that message is the first with the scene; its line comes once it is
    # presented (the software presentation waits for the picture).
    for _ in $(seq 1 6000); do
        [ "$(grep -c "frame 1650 submitted" log.txt)" -ge 3 ] && break
        kill -0 $pid 2>/dev/null || break
        sleep 0.1
    done
    sleep 0.5 && import -window root playing.png
    # Six seconds of sound at least before the end (44100 frames of 8 bytes a second).
    for _ in $(seq 1 600); do
        [ "$(stat -c %s audio.raw 2>/dev/null || echo 0)" -gt 2200000 ] && break
        sleep 0.1
    done
    xdotool windowfocus --sync "$(window_id)" key Escape || true
    set +e
    wait $pid
    echo $? >exit-code
' bash "$out" "$test_build"

run=$out/run-a
cat "$run/log.txt"
[ "$(cat "$run/exit-code")" = 0 ] || fail "run A: exit code $(cat "$run/exit-code") (0 expected after Escape, 3: validation errors)"
grep -q "^kivrel: shut down" "$run/log.txt" || fail "run A: no full shutdown in the log"
[ -f "$run/preparing.png" ] && [ -f "$run/playing.png" ] || fail "run A: screenshots missing"
brightest() { convert "$1" -colorspace gray -format "%[fx:int(255*maxima)]" info:; }
mean() { convert "$1" -colorspace gray -format "%[fx:int(255*mean)]" info:; }
[ "$(brightest "$run/preparing.png")" = 0 ] || fail "run A: the screen is not black while the soundtrack is prepared"
# Frame 1650: the background colour at full brightness under the white title.
[ "$(mean "$run/playing.png")" -ge 20 ] || fail "run A: the picture is black (mean $(mean "$run/playing.png"))"
[ "$(brightest "$run/playing.png")" -ge 200 ] || fail "run A: no title in the picture"
python3 "$compare_audio" "$run/audio.raw" "$out/soundtrack.wav" 5 || fail "run A: the sound differs"

# >>B: kivrel as played, closed once the music plays
xvfb-run -a -s "-screen 0 320x180x24" bash -c '
    source "$1/helpers.sh"; run=$1/run-b; kivrel=$2; close_window=$3
    cd "$run"
    SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$run/audio.raw" "$kivrel" >log.txt 2>&1 &
    pid=$!
    wait_for "soundtrack ready, playing" log.txt $pid && "$close_window" "$(window_id)"
    set +e
    wait $pid
    echo $? >exit-code
' bash "$out" "$kivrel" "$close_window"

run=$out/run-b
cat "$run/log.txt"
[ "$(cat "$run/exit-code")" = 0 ] || fail "run B: exit code $(cat "$run/exit-code") (0 expected after closing the window)"
grep -q "^kivrel: shut down" "$run/log.txt" || fail "run B: no full shutdown in the log"
[ ! -e "$run/kivrel_timeline.json" ] || fail "run B: a normal run saved the timeline"

# >>C: forced PANIC after start-up
xvfb-run -a -s "-screen 0 320x180x24" bash -c '
    run=$1/run-c; test_build=$2
    cd "$run"
    set +e
    SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$run/audio.raw" "$test_build" --panic-when-ready >log.txt 2>&1
    echo $? >exit-code
' bash "$out" "$test_build"

run=$out/run-c
cat "$run/log.txt"
[ "$(cat "$run/exit-code")" = 255 ] || fail "run C: exit code $(cat "$run/exit-code") (255 expected after a PANIC)"
grep -q "^PANIC: forced by the test build" "$run/log.txt" || fail "run C: no PANIC line"
grep -q "^Saved timeline file kivrel_timeline.json" "$run/log.txt" || fail "run C: the timeline was not saved"
# The saved header is the committed one: the same text the program was built with.
cmp "$run/code/kivrel_timeline.json.h" "$source_dir/code/kivrel_timeline.json.h" || fail "run C: saved header differs"
[ "$(stat -c %s "$run/kivrel_timeline.json")" = 4871 ] || fail "run C: kivrel_timeline.json is not 4871 bytes"
# The recordings are large; what a person would look at stays.
rm -f "$out"/soundtrack.wav "$out"/run-?/audio.raw
echo "PASS"
