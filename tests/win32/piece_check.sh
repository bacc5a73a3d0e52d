#!/usr/bin/env bash
# kivrel.exe under Wine and Xvfb (320 x 180 screen), three runs, as tests/e2e/piece_check.sh
# does natively:
#  A. the test build from frame 1650: the popup covers the screen, black while the soundtrack
#     is prepared, then the picture; the sound WinMM played (captured by an ALSA file plugin
#     in a temporary HOME) matches kivrel-soundtrack's from the start of playback; Escape ends
#     it with exit code 0 after shutdown;
#  B. kivrel.exe as played, its window closed (WM_DELETE_WINDOW, which Wine turns into
#     WM_CLOSE) once the music plays: exit code 0;
#  C. the test build with a PANIC forced once the soundtrack is ready: exit code 255 (-1 as
#     Wine reports it) and the timeline saved as the compiled-in text.
# Usage: piece_check.sh <kivrel.exe> <kivrel_test_build.exe> <kivrel-soundtrack (Linux)>
#                       <kivrel_close_window (Linux)> <source dir> <output folder>
set -euo pipefail
kivrel=$(realpath "$1")
test_build=$(realpath "$2")
soundtrack=$(realpath "$3")
close_window=$(realpath "$4")
source_dir=$(realpath "$5")
out=$(realpath -m "$6")
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$out"
mkdir -p "$out"/run-a "$out"/run-b "$out"/run-c/code "$out"/home

fail() {
    echo "FAIL: $*"
    exit 1
}

# One prefix for the three runs, unless the caller prepared one.
if [ -z "${KIVREL_WINEPREFIX:-}" ]; then
    KIVREL_WINEPREFIX=$(mktemp -d /tmp/kivrel-wine.XXXXXX)
    export KIVREL_WINEPREFIX
    trap 'WINEPREFIX=$KIVREL_WINEPREFIX wineserver -k 2>/dev/null || true; rm -rf "$KIVREL_WINEPREFIX"' EXIT
    bash "$here/wine_run.sh" prepare "$KIVREL_WINEPREFIX"
fi
export WINEPREFIX=$KIVREL_WINEPREFIX WINEDEBUG=-all

"$soundtrack" "$out/soundtrack.wav" >"$out/soundtrack-log.txt" 2>&1 || fail "kivrel-soundtrack: $(cat "$out/soundtrack-log.txt")"

# Wine's ALSA driver writes what the default device plays into a file. Each run gets its own.
alsa_file() {
    cat >"$out/home/.asoundrc" <<ASOUND
pcm.!default {
    type file
    slave.pcm "null"
    file "$1"
    format "raw"
}
ASOUND
}

cat >"$out/helpers.sh" <<'HELPERS'
wait_for() { # wait_for <pattern> <file> <pid> [lines, 1 unless given]: false if the program ended first
    for _ in $(seq 1 6000); do
        [ "$(grep -c "$1" "$2")" -ge "${4:-1}" ] && return 0
        kill -0 "$3" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}
window_id() { timeout 20 xdotool search --sync --name "^KIVREL$" | head -n 1; }
HELPERS

# >>A
alsa_file "$out/run-a/audio.raw"
HOME=$out/home xvfb-run -a -s "-screen 0 320x180x24" bash -c '
    source "$1/helpers.sh"; run=$1/run-a; test_build=$2
    cd "$run"
    wine "$test_build" --first-frame 1650 >log.txt 2>&1 &
    pid=$!
    wait_for "soundtrack ready, playing" log.txt $pid && import -window root preparing.png
    # The second scene frame shows frame 1650 again (the music has just started): once it is
    # submitted, the first is on the screen.
    wait_for "frame 1650 submitted" log.txt $pid 4
    sleep 1 && import -window root playing.png
    xdotool getwindowgeometry "$(window_id)" >window.txt 2>&1 || true
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
[ "$(cat "$run/exit-code")" = 0 ] || fail "run A: exit code $(cat "$run/exit-code") (0 expected after Escape)"
grep -q "^kivrel: shut down" "$run/log.txt" || fail "run A: no full shutdown in the log"
grep -q "Geometry: 320x180" "$run/window.txt" || fail "run A: the window does not cover the screen: $(cat "$run/window.txt")"
brightest() { convert "$1" -colorspace gray -format "%[fx:int(255*maxima)]" info:; }
mean() { convert "$1" -colorspace gray -format "%[fx:int(255*mean)]" info:; }
[ "$(brightest "$run/preparing.png")" = 0 ] || fail "run A: the screen is not black while the soundtrack is prepared"
[ "$(mean "$run/playing.png")" -ge 20 ] || fail "run A: the picture is black (mean $(mean "$run/playing.png"))"
[ "$(brightest "$run/playing.png")" -ge 200 ] || fail "run A: no title in the picture"
python3 "$here/compare_audio.py" "$run/audio.raw" "$out/soundtrack.wav" 5 || fail "run A: the sound differs"

# >>B
alsa_file "$out/run-b/audio.raw"
HOME=$out/home xvfb-run -a -s "-screen 0 320x180x24" bash -c '
    source "$1/helpers.sh"; run=$1/run-b; kivrel=$2; close_window=$3
    cd "$run"
    wine "$kivrel" >log.txt 2>&1 &
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

# >>C
alsa_file "$out/run-c/audio.raw"
HOME=$out/home xvfb-run -a -s "-screen 0 320x180x24" bash -c '
    run=$1/run-c; test_build=$2
    cd "$run"
    set +e
    wine "$test_build" --panic-when-ready >log.txt 2>&1
    echo $? >exit-code
' bash "$out" "$test_build"
run=$out/run-c
cat "$run/log.txt"
[ "$(cat "$run/exit-code")" = 255 ] || fail "run C: exit code $(cat "$run/exit-code") (255, -1 as Wine reports it, expected after a PANIC)"
grep -q "^PANIC: forced by the test build" "$run/log.txt" || fail "run C: no PANIC line"
grep -q "^Saved timeline file kivrel_timeline.json" "$run/log.txt" || fail "run C: the timeline was not saved"
cmp "$run/code/kivrel_timeline.json.h" "$source_dir/code/kivrel_timeline.json.h" || fail "run C: saved header differs"
[ "$(stat -c %s "$run/kivrel_timeline.json")" = 4871 ] || fail "run C: kivrel_timeline.json is not 4871 bytes"
rm -f "$out"/soundtrack.wav "$out"/run-?/audio.raw
echo "PASS"
