#!/usr/bin/env bash
# The piece itself on a 320 x 180 Xvfb screen, natively (linux: SDL's disk audio driver records
# the sound) or under Wine (wine: an ALSA file plugin records what WinMM plays): runs A to C on
# both, D and E natively, each described where it runs; natively also kivrel without a display
# says so in a PANIC (exit code 255).
# Usage: piece_check.sh linux|wine <kivrel> <kivrel_test_build> <kivrel-soundtrack (Linux)>
#                       <close_window (Linux)> <source dir> <output folder>
set -euo pipefail
platform=$1
kivrel=$(realpath "$2")
test_build=$(realpath "$3")
soundtrack=$(realpath "$4")
close_window=$(realpath "$5")
source_dir=$(realpath "$6")
out=$(realpath -m "$7")
here=$(cd "$(dirname "$0")" && pwd)

fail() {
    echo "FAIL: $*"
    exit 1
}

# >>outside Xvfb: what needs no display, then the runs inside one server
if [ -z "${KIVREL_PIECE_CHECK_INSIDE:-}" ]; then
    rm -rf "$out"
    mkdir -p "$out"/run-{a,b,c,d,e} "$out"/run-c/code "$out/home"
    "$soundtrack" "$out/soundtrack.wav" >"$out/soundtrack-log.txt" 2>&1 || fail "kivrel-soundtrack: $(cat "$out/soundtrack-log.txt")"
    if [ "$platform" = linux ]; then
        code=0
        env -u DISPLAY -u WAYLAND_DISPLAY "$kivrel" >"$out/no-display.txt" 2>&1 || code=$?
        grep -q "^PANIC: Failed to create window: no display could be opened" "$out/no-display.txt" && [ "$code" = 255 ] ||
            fail "without a display: exit code $code, $(cat "$out/no-display.txt")"
    elif [ -z "${KIVREL_WINEPREFIX:-}" ]; then
        KIVREL_WINEPREFIX=$(mktemp -d /tmp/kivrel-wine.XXXXXX)
        export KIVREL_WINEPREFIX
        trap 'WINEPREFIX=$KIVREL_WINEPREFIX wineserver -k 2>/dev/null || true; rm -rf "$KIVREL_WINEPREFIX"' EXIT
        bash "$here/../win32/wine_run.sh" prepare "$KIVREL_WINEPREFIX"
    fi
    code=0
    KIVREL_PIECE_CHECK_INSIDE=1 xvfb-run -a -s "-screen 0 320x180x24" bash "$0" "$@" || code=$?
    # The recordings are large; what a person would look at stays.
    rm -f "$out"/soundtrack.wav "$out"/run-?/*.raw
    exit $code
fi

# >>helpers
export WINEPREFIX=${KIVREL_WINEPREFIX:-} WINEDEBUG=-all
# start <run folder> <program> [arguments]: runs it in the background in its folder, the
# sound recorded into audio.raw; $pid is the program's.
start() {
    local run=$1
    shift
    cd "$run"
    if [ "$platform" = linux ]; then
        SDL_AUDIODRIVER=${audio_driver:-disk} SDL_DISKAUDIOFILE="$run/audio.raw" "$@" >log.txt 2>&1 &
    else
        printf 'pcm.!default {\n type file\n slave.pcm "null"\n file "%s"\n format "raw"\n}\n' "$run/audio.raw" \
            >"$out/home/.asoundrc"
        HOME=$out/home wine "$@" >log.txt 2>&1 &
    fi
    pid=$!
}
finish() { # waits for the program and checks its exit code against $1 and its log for a full shutdown
    local code=0
    wait $pid || code=$?
    tail -n 4 log.txt
    # Wine now and then loses its own server as the program ends and exits 1 ("wine client
    # error:0: recvmsg: Connection reset by peer"), whatever the program returned.
    if [ "$platform" = wine ] && [ "$code" = 1 ] && tail -n 1 log.txt | grep -q "^wine client error"; then
        echo "$(basename "$PWD"): Wine lost its server as the program ended: its exit code is not known"; code=$1
    fi
    [ "$code" = "$1" ] || fail "$(basename "$PWD"): exit code $code ($1 expected)"
    [ "$1" = 255 ] || grep -q "^kivrel: shut down" log.txt || fail "$(basename "$PWD"): no full shutdown in the log"
}
wait_for() { # wait_for <pattern> [lines, 1 unless given]: false if the program ended first
    for _ in $(seq 1 6000); do
        [ "$(grep -c "$1" log.txt)" -ge "${2:-1}" ] && return 0
        kill -0 $pid 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}
wait_for_sound() { # until the recording holds $1 bytes (44100 frames of 8 bytes a second)
    for _ in $(seq 1 900); do
        [ "$(stat -c %s audio.raw 2>/dev/null || echo 0)" -gt "$1" ] && return 0
        sleep 0.1
    done
}
window_id() { timeout 20 xdotool search --sync --name "^KIVREL$" | head -n 1; }
press_escape() { xdotool windowfocus --sync "$(window_id)" key Escape || true; }
brightest() { convert "$1" -colorspace gray -format "%[fx:int(255*maxima)]" info:; }
mean() { convert "$1" -colorspace gray -format "%[fx:int(255*mean)]" info:; }
frames_logged() { grep -c " submitted at " log.txt || true; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; } # user + system, 1/100 s
# The frame and time of every "frame N submitted at T s" line.
frame_times() { sed -n 's/^kivrel: frame \([0-9]*\) submitted at \([0-9.]*\) s$/\1 \2/p' "$1"; }
# Seconds from the first to the last sound in a recording (float stereo, 44100 Hz).
sound_seconds() {
    python3 -c 'import sys; raw = open(sys.argv[1], "rb").read()
print(f"{(len(raw.rstrip(bytes(1))) - (len(raw) - len(raw.lstrip(bytes(1))))) / 8 / 44100:.3f}")' "$1"
}
validation=()
[ "$platform" = linux ] && validation=(--validation)
# The first scene frame is presented once a later frame is submitted: natively the software
# presentation waits for the picture (3 lines), Wine's takes one frame more (4 lines).
presented=$([ "$platform" = linux ] && echo 3 || echo 4)

# >>A: the test build from frame 1650 (title in, scene lit): black while the soundtrack is
# prepared, then the picture; the sound is kivrel-soundtrack's from the start of playback;
# Escape ends it with exit code 0 after a full shutdown.
start "$out/run-a" "$test_build" --first-frame 1650 "${validation[@]}"
wait_for "soundtrack ready, playing" && import -window root preparing.png
wait_for "frame 1650 submitted" "$presented"
sleep 0.5 && import -window root playing.png
xdotool getwindowgeometry "$(window_id)" >window.txt 2>&1 || true
wait_for_sound 2200000 # 6 s of sound at least
press_escape
finish 0
grep -q "Geometry: 320x180" window.txt || fail "run A: the window does not cover the screen: $(cat window.txt)"
[ "$(brightest preparing.png)" = 0 ] || fail "run A: the screen is not black while the soundtrack is prepared"
# Frame 1650: the background colour at full brightness under the white title.
[ "$(mean playing.png)" -ge 20 ] || fail "run A: the picture is black (mean $(mean playing.png))"
[ "$(brightest playing.png)" -ge 200 ] || fail "run A: no title in the picture"
gaps=()
[ "$platform" = wine ] && gaps=(--gaps) # Wine's file plugin takes sound faster than real time
python3 "$here/compare_audio.py" "${gaps[@]}" audio.raw "$out/soundtrack.wav" 5 || fail "run A: the sound differs"

# >>B: kivrel as played, its window closed once the music plays (WM_DELETE_WINDOW): exit code 0
start "$out/run-b" "$kivrel"
wait_for "soundtrack ready, playing" && "$close_window" "$(window_id)"
finish 0

# >>C: a PANIC forced once the soundtrack is ready: exit code 255 (-1) and the timeline saved as
# kivrel_timeline.json and code/kivrel_timeline.json.h, the compiled-in text.
start "$out/run-c" "$test_build" --panic-when-ready
finish 255
grep -q "^PANIC: forced by the test build" log.txt || fail "run C: no PANIC line"
grep -q "^Saved timeline file kivrel_timeline.json" log.txt || fail "run C: the timeline was not saved"
cmp code/kivrel_timeline.json.h "$source_dir/code/kivrel_timeline.json.h" || fail "run C: the saved header differs"
# The saved document is the text inside that header.
python3 - "$source_dir/code/kivrel_timeline.json.h" kivrel_timeline.json <<'PYTHON' || fail "run C: kivrel_timeline.json is not the compiled-in text"
import codecs, sys
header = open(sys.argv[1]).read()
sys.exit(open(sys.argv[2]).read() != codecs.decode(header[header.index('= "') + 3 : header.rindex('";')], "unicode_escape"))
PYTHON
[ "$platform" = linux ] || { echo "PASS"; exit 0; }

# >>D: 25 s of sound at 640 x 360 (a frame a second or so on lavapipe), hidden for 6 s: under
# 10 % of a core while hidden, the music's frame once shown again, and Escape ends it within 3
# frame-times at a frame within 5 % of 60 x the seconds of sound.
start "$out/run-d" "$test_build" --render-size 640x360
wait_for "soundtrack ready, playing" || fail "run D: it ended before the music"
sleep 8
window=$(window_id)
xdotool windowunmap --sync "$window"
sleep 2 # what was submitted before still renders; the measurement starts once that is done
hidden_frames=$(frames_logged)
hidden_cpu=$(cpu_ticks $pid)
sleep 4
hidden_cpu=$(($(cpu_ticks $pid) - hidden_cpu))
[ "$(frames_logged)" = "$hidden_frames" ] || fail "run D: frames were rendered while hidden"
xdotool windowmap --sync "$window"
for _ in $(seq 1 600); do
    [ "$(frames_logged)" -gt "$hidden_frames" ] && break
    sleep 0.05
done
cp audio.raw restored.raw # the music written when the first frame after the restore was logged
read -r restored_frame _ < <(frame_times log.txt | tail -n 1)
wait_for_sound $((25 * 352800))
escaped=$(date +%s.%N)
press_escape
finish 0
exit_delay=$(echo "$(date +%s.%N) - $escaped" | bc)
echo "run D: $hidden_cpu hundredths of a second of CPU in 4 s hidden"
[ "$hidden_cpu" -lt 40 ] || fail "run D: $hidden_cpu / 400 of a core while hidden (under 10 % expected)"
restored_sound=$(sound_seconds restored.raw)
awk -v f="$restored_frame" -v s="$restored_sound" 'BEGIN { exit !(f >= 60 * (s - 3) && f <= 60 * (s + 0.5)) }' ||
    fail "run D: frame $restored_frame after the restore is not the music's ($restored_sound s)"
shut_down=$(sed -n 's/^kivrel: shut down after frame \([0-9]*\)$/\1/p' log.txt)
sound=$(sound_seconds audio.raw)
awk -v f="$shut_down" -v s="$sound" 'BEGIN { d = f - 60 * s; exit !(d <= 0.05 * 60 * s && -d <= 0.05 * 60 * s) }' ||
    fail "run D: frame $shut_down is not within 5 % of 60 x $sound s of sound"
# A frame-time: the median interval between the last 20 frames logged before Escape.
frame_time=$(frame_times log.txt | tail -n 21 | awk 'NR > 1 { print $2 - t } { t = $2 }' | sort -g |
             awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
echo "run D: exit $exit_delay s after Escape, frame-time $frame_time s"
awk -v d="$exit_delay" -v t="$frame_time" 'BEGIN { exit !(d <= 3 * t) }' ||
    fail "run D: the exit came $exit_delay s after Escape, more than 3 frame-times of $frame_time s"

# >>E: SDL's dummy driver (plays nowhere: reported once, the clock in real time) with the
# validation layer on; the window shrunk (the swapchain made again), then destroyed from outside.
audio_driver=dummy start "$out/run-e" "$test_build" --render-size 320x180 --validation
wait_for "soundtrack ready, playing" && sleep 10 && xdotool windowsize "$(window_id)" 200 120
sleep 3 && import -window root resized.png
xdotool windowclose "$(window_id)"
finish 0 # 3 after a validation error
# The lit picture letterboxed into 200 x 120 (bars of 4 rows), the screen black around it.
for point in 100,1:0 100,60:1 100,117:0 250,150:0; do
    [ "$(convert resized.png -format "%[fx:p{${point%:*}}.intensity > 0.05]" info:)" = "${point#*:}" ] ||
        fail "run E: the picture is not letterboxed into the shrunk window at ${point%:*}"
done
[ "$(grep -c "^Audio Error: no audio output device opened; playing silently$" log.txt)" = 1 ] ||
    fail "run E: the dummy driver was not reported once as no audio device"
# The silent clock runs in real time (the dummy driver's own runs at about 0.88): the last frame
# logged against the time since the first scene frame was logged, the music having started
# before it (by up to 1.5 s when a busy machine is slow to render that frame); a frame shows the
# clock read a frame-time before.
grep -A 1000000 "soundtrack ready" log.txt | frame_times /dev/stdin |
    awk 'NR == 1 { t0 = $2 } { f = $1; t = $2 }
         END { s = t - t0; printf "run E: frame %d after %.2f s\n", f, s; exit !(f >= 60 * (s - 1) && f <= 60 * (s + 1.5)) }' ||
    fail "run E: the silent clock does not run in real time"
echo "PASS"
