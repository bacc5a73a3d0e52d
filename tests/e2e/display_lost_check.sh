#!/usr/bin/env bash
# The X server killed under the piece and under the edit mode: the lost display is a quit, as a
# destroyed window is: one line says why, then the full shutdown and exit code 0, within 5 s.
# Usage: display_lost_check.sh <kivrel_test_build> <output folder>
set -euo pipefail
test_build=$(realpath "$1")
out=$(realpath -m "$2")
rm -rf "$out" && mkdir -p "$out"/{piece,edit}
server= pid=
trap 'kill -9 $server $pid 2>/dev/null || true' EXIT
fail() { echo "FAIL: $*"; tail -n 5 log.txt 2>/dev/null || true; exit 1; }

# lose_display <folder> <what the log shows once it draws> <its shutdown line> [options]
lose_display() {
    cd "$1"
    # A server of its own (not xvfb-run: it is killed); it picks a free display and names it.
    Xvfb -displayfd 3 -screen 0 320x180x24 -nolisten tcp 3>display.txt 2>xvfb.txt &
    server=$!
    timeout 10 bash -c 'until [ -s display.txt ]; do sleep 0.1; done' || fail "Xvfb did not start: $(cat xvfb.txt)"
    DISPLAY=:$(cat display.txt) SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null \
        timeout 60 "$test_build" --render-size 128x72 "${@:4}" >log.txt 2>&1 &
    pid=$!
    timeout 30 bash -c "until grep -q '$2' log.txt 2>/dev/null; do sleep 0.1; done" || fail "$1: nothing drawn"
    sleep 0.5
    { kill -9 $server && wait $server; } 2>/dev/null || true
    timeout 5 tail --pid=$pid -f /dev/null || fail "$1: still running 5 s after the X server was killed"
    local code=0
    wait $pid || code=$?
    [ "$code" = 0 ] || fail "$1: exit code $code (0 expected)"
    grep -q "^kivrel: the display connection was lost" log.txt || fail "$1: no line saying the display was lost"
    grep -q "^$3" log.txt || fail "$1: no full shutdown in the log"
    echo "$(basename "$1"): quit cleanly"
}
lose_display "$out/piece" "frame [1-9][0-9]* submitted" "kivrel: shut down after frame"
lose_display "$out/edit" "soundtrack ready, playing" "kivrel: edit mode closed at frame" --edit
echo PASS
