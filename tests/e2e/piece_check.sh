#!/usr/bin/env bash
# The piece itself under Xvfb (320 x 180 screen) with SDL's disk audio driver, four runs:
#  A. the test build from frame 1650 (title in, scene lit), validation layer on: the screen is
#     black while the soundtrack is prepared, then shows the picture; the recorded sound matches
#     the soundtrack tool's output from the start of playback; closing the window ends it with
#     exit code 0 after shutdown and no validation error;
#  B. the test build rendering 640 x 360 (a frame a second or so on lavapipe) for about 40 s of
#     sound: hidden (unmapped) for 10 s it uses under 10 % of a core and shows the music's frame
#     once mapped again; Escape ends it within 3 frame-times with exit code 0, at a frame within
#     5 % of 60 x the seconds of sound written;
#  C. the test build with a PANIC forced in the first frame with the soundtrack ready: exit
#     code 255 (-1) and the timeline saved as kivrel_timeline.json and code/kivrel_timeline.json.h,
#     the same text as the compiled-in one;
#  D. with SDL's dummy audio driver (plays nowhere: the silent case, reported once, real time)
#     the window destroyed from outside ends it with exit code 0 after shutdown.
# Without a display kivrel says so in its PANIC (exit code 255).
# lavapipe takes seconds per 1920 x 1080 frame, so run A shows only a few frames.
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
mkdir -p "$out"/run-a "$out"/run-b "$out"/run-c/code "$out"/run-d

fail() {
    echo "FAIL: $*"
    exit 1
}

"$soundtrack" "$out/soundtrack.wav" >"$out/soundtrack-log.txt" 2>&1 || fail "kivrel-soundtrack: $(cat "$out/soundtrack-log.txt")"

# Helpers for the runs below, inside xvfb-run and here.
cat >"$out/helpers.sh" <<'EOF'
wait_for() { # wait_for <pattern> <file> <pid> [lines, 1 unless given]: false if the program ended first
    for _ in $(seq 1 6000); do
        [ "$(grep -c "$1" "$2")" -ge "${4:-1}" ] && return 0
        kill -0 "$3" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}
window_id() { xdotool search --sync --name "^KIVREL$" | head -n 1; }
frames_logged() { grep -c " submitted at " "$1" || true; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; } # user + system, 1/100 s
# The frame and time of every "frame N submitted at T s" line.
frame_times() { sed -n 's/^kivrel: frame \([0-9]*\) submitted at \([0-9.]*\) s$/\1 \2/p' "$1"; }
EOF
source "$out/helpers.sh"
# Seconds from the first to the last sound in a disk-driver recording (float stereo, 44100 Hz).
sound_seconds() {
    python3 -c 'import sys; raw = open(sys.argv[1], "rb").read()
print(f"{(len(raw.rstrip(bytes(1))) - (len(raw) - len(raw.lstrip(bytes(1))))) / 8 / 44100:.3f}")' "$1"
}

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
    wait_for "frame 1650 submitted" log.txt $pid 3
    sleep 0.5 && import -window root playing.png
    # Six seconds of sound at least before the end (44100 frames of 8 bytes a second).
    for _ in $(seq 1 600); do
        [ "$(stat -c %s audio.raw 2>/dev/null || echo 0)" -gt 2200000 ] && break
        sleep 0.1
    done
    "$3" "$(window_id)"
    set +e
    wait $pid
    echo $? >exit-code
' bash "$out" "$test_build" "$close_window"

run=$out/run-a
cat "$run/log.txt"
[ "$(cat "$run/exit-code")" = 0 ] || fail "run A: exit code $(cat "$run/exit-code") (0 expected after closing the window, 3: validation errors)"
grep -q "^kivrel: shut down" "$run/log.txt" || fail "run A: no full shutdown in the log"
[ -f "$run/preparing.png" ] && [ -f "$run/playing.png" ] || fail "run A: screenshots missing"
brightest() { convert "$1" -colorspace gray -format "%[fx:int(255*maxima)]" info:; }
mean() { convert "$1" -colorspace gray -format "%[fx:int(255*mean)]" info:; }
[ "$(brightest "$run/preparing.png")" = 0 ] || fail "run A: the screen is not black while the soundtrack is prepared"
# Frame 1650: the background colour at full brightness under the white title.
[ "$(mean "$run/playing.png")" -ge 20 ] || fail "run A: the picture is black (mean $(mean "$run/playing.png"))"
[ "$(brightest "$run/playing.png")" -ge 200 ] || fail "run A: no title in the picture"
python3 "$compare_audio" "$run/audio.raw" "$out/soundtrack.wav" 5 || fail "run A: the sound differs"

# >>B: 40 s of sound, 10 s hidden, Escape
xvfb-run -a -s "-screen 0 320x180x24" bash -c '
    source "$1/helpers.sh"; run=$1/run-b; test_build=$2
    cd "$run"
    SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$run/audio.raw" "$test_build" --render-size 640x360 >log.txt 2>&1 &
    pid=$!
    wait_for "soundtrack ready, playing" log.txt $pid || { echo "none: it ended before the music" >exit-code; exit 0; }
    sleep 12
    window=$(window_id)
    xdotool windowunmap --sync "$window"
    # What was submitted before still renders; the measurement starts once that is done.
    sleep 3
    frames_logged log.txt >hidden-frames-start
    cpu_ticks $pid >cpu-start
    sleep 7
    cpu_ticks $pid >cpu-end
    frames_logged log.txt >hidden-frames-end
    xdotool windowmap --sync "$window"
    before=$(frames_logged log.txt)
    for _ in $(seq 1 600); do
        [ "$(frames_logged log.txt)" -gt "$before" ] && break
        sleep 0.05
    done
    # The music that had been written when the first frame after the restore was logged.
    cp audio.raw restored.raw
    frame_times log.txt | tail -n 1 >restored-frame
    for _ in $(seq 1 600); do
        [ "$(stat -c %s audio.raw)" -gt $((40 * 352800)) ] && break
        sleep 0.1
    done
    xdotool windowfocus --sync "$window" || true
    escaped=$(date +%s.%N)
    xdotool key Escape
    set +e
    wait $pid
    echo $? >exit-code
    echo "$(date +%s.%N) - $escaped" | bc >exit-delay
' bash "$out" "$test_build"

run=$out/run-b
tail -n 4 "$run/log.txt"
[ "$(cat "$run/exit-code")" = 0 ] || fail "run B: exit code $(cat "$run/exit-code") (0 expected after Escape)"
shut_down=$(sed -n 's/^kivrel: shut down after frame \([0-9]*\)$/\1/p' "$run/log.txt")
[ -n "$shut_down" ] || fail "run B: no full shutdown in the log"
sound=$(sound_seconds "$run/audio.raw")
echo "run B: shut down after frame $shut_down, $sound s of sound"
awk -v f="$shut_down" -v s="$sound" 'BEGIN { d = f - 60 * s; exit !(d <= 0.05 * 60 * s && -d <= 0.05 * 60 * s) }' ||
    fail "run B: frame $shut_down is not within 5 % of 60 x $sound s of sound"
# A frame-time: the median interval between the last 20 frames logged before Escape.
frame_time=$(frame_times "$run/log.txt" | tail -n 21 | awk 'NR > 1 { print $2 - t } { t = $2 }' | sort -g |
             awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
echo "run B: exit $(cat "$run/exit-delay") s after Escape, frame-time $frame_time s"
awk -v d="$(cat "$run/exit-delay")" -v t="$frame_time" 'BEGIN { exit !(d <= 3 * t) }' ||
    fail "run B: the exit came $(cat "$run/exit-delay") s after Escape, more than 3 frame-times of $frame_time s"
hidden_ticks=$(( $(cat "$run/cpu-end") - $(cat "$run/cpu-start") ))
echo "run B: $hidden_ticks hundredths of a second of CPU in 7 s hidden"
[ "$(cat "$run/hidden-frames-start")" = "$(cat "$run/hidden-frames-end")" ] || fail "run B: frames were rendered while hidden"
[ "$hidden_ticks" -lt 70 ] || fail "run B: $hidden_ticks / 700 of a core while hidden (under 10 % expected)"
read -r restored_frame _ <"$run/restored-frame"
restored_sound=$(sound_seconds "$run/restored.raw")
echo "run B: first frame after the restore $restored_frame, with $restored_sound s of sound written"
awk -v f="$restored_frame" -v s="$restored_sound" 'BEGIN { exit !(f >= 60 * (s - 3) && f <= 60 * (s + 0.5)) }' ||
    fail "run B: frame $restored_frame after the restore is not the music's ($restored_sound s)"

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
# >>D: the dummy driver, the window destroyed from outside
xvfb-run -a -s "-screen 0 320x180x24" bash -c '
    source "$1/helpers.sh"; run=$1/run-d; test_build=$2
    cd "$run"
    SDL_AUDIODRIVER=dummy "$test_build" --render-size 320x180 >log.txt 2>&1 &
    pid=$!
    wait_for "soundtrack ready, playing" log.txt $pid && sleep 20 && xdotool windowclose "$(window_id)"
    set +e
    wait $pid
    echo $? >exit-code
' bash "$out" "$test_build"

run=$out/run-d
tail -n 3 "$run/log.txt"
[ "$(cat "$run/exit-code")" = 0 ] || fail "run D: exit code $(cat "$run/exit-code") (0 expected after the window was destroyed)"
grep -q "^kivrel: shut down" "$run/log.txt" || fail "run D: no full shutdown in the log"
[ "$(grep -c "^Audio Error: no audio output device opened; playing silently$" "$run/log.txt")" = 1 ] ||
    fail "run D: the dummy driver was not reported once as no audio device"
# The silent clock runs in real time (the dummy driver's own runs at about 0.88): the last frame
# logged against the time since the first scene frame was logged, the music having started
# just before (half a second at most); a frame shows the clock read one frame-time (under a
# second) before it is logged.
grep -A 1000000 "soundtrack ready" "$run/log.txt" | frame_times /dev/stdin |
    awk 'NR == 1 { t0 = $2 } { f = $1; t = $2 }
         END { s = t - t0; printf "run D: frame %d after %.2f s\n", f, s; exit !(f >= 60 * (s - 1) && f <= 60 * (s + 0.5)) }' ||
    fail "run D: the silent clock does not run in real time"

# >>no display
set +e
env -u DISPLAY -u WAYLAND_DISPLAY "$kivrel" >"$out/no-display.txt" 2>&1
code=$?
set -e
grep -q "^PANIC: Failed to create window: no display could be opened" "$out/no-display.txt" && [ "$code" = 255 ] ||
    fail "without a display: exit code $code, $(cat "$out/no-display.txt")"

# The recordings are large; what a person would look at stays.
rm -f "$out"/soundtrack.wav "$out"/run-?/audio.raw "$out"/run-b/restored.raw
echo "PASS"
