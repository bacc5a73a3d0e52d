#!/usr/bin/env bash
# Runs window_check under its own 320 x 200 Xvfb: waits until frames are being presented and
# screenshots the screen (the window covers it in the clear colour (51, 102, 153)); then
# shrinks the window to 200 x 120, waits for the swapchain to be made again at that size and
# screenshots again (colour inside the window only); then presses Escape and expects exit
# code 0 (2: the frame limit ended it, 3: validation errors). (Without a display the piece
# check sees the PANIC.)
# Usage: window_check.sh <window_check program> <output folder>
set -euo pipefail
program=$1
out=$2
mkdir -p "$out"
rm -f "$out"/log.txt "$out"/screen.png "$out"/resized.png "$out"/exit-code

xvfb-run -a -s "-screen 0 320x200x24" bash -c '
    program=$1; out=$2
    "$program" 3600 --validation >"$out/log.txt" 2>&1 &
    pid=$!
    wait_for() {
        for _ in $(seq 1 600); do
            grep -q "$1" "$out/log.txt" && return 0
            kill -0 $pid 2>/dev/null || return 1
            sleep 0.1
        done
        return 1
    }
    wait_for "window_check: presenting" && import -window root "$out/screen.png"
    window=$(xdotool search --sync --name "^KIVREL$" | head -n 1)
    xdotool windowsize "$window" 200 120
    wait_for "back buffers now 200x120" && sleep 0.5 && import -window root "$out/resized.png"
    xdotool windowfocus --sync "$window" key Escape || true
    set +e
    wait $pid
    echo $? >"$out/exit-code"
' bash "$program" "$out"

cat "$out/log.txt"
code=$(cat "$out/exit-code")
if [ "$code" != 0 ]; then
    echo "FAIL: exit code $code (0 expected after Escape)"
    exit 1
fi

# pixel <image> <x,y>: the colour as "r,g,b"
pixel() {
    convert "$1" -format "%[fx:int(255*p{$2}.r)],%[fx:int(255*p{$2}.g)],%[fx:int(255*p{$2}.b)]" info:
}
expect() {
    local actual
    actual=$(pixel "$1" "$2")
    if [ "$3" = same ] && [ "$actual" != "51,102,153" ]; then
        echo "FAIL: $1 pixel $2 is ($actual), expected (51,102,153)"
        exit 1
    fi
    if [ "$3" = other ] && [ "$actual" = "51,102,153" ]; then
        echo "FAIL: $1 pixel $2 is the clear colour outside the window"
        exit 1
    fi
}
for point in 0,0 160,100 319,199; do
    expect "$out/screen.png" $point same
done
for point in 0,0 100,60 199,119; do
    expect "$out/resized.png" $point same
done
expect "$out/resized.png" 260,160 other
echo "PASS"
