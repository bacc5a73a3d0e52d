#!/usr/bin/env bash
# Runs window_check under its own Xvfb: waits until frames are being presented, takes a
# screenshot of the whole screen, presses Escape and expects exit code 0 and the clear
# colour (51, 102, 153) on the screen.
# Usage: window_check.sh <window_check program> <output folder>
set -euo pipefail
program=$1
out=$2
mkdir -p "$out"
rm -f "$out"/log.txt "$out"/screen.png "$out"/exit-code

xvfb-run -a -s "-screen 0 320x200x24" bash -c '
    program=$1; out=$2
    "$program" 3600 --validation >"$out/log.txt" 2>&1 &
    pid=$!
    for _ in $(seq 1 600); do
        grep -q "window_check: presenting" "$out/log.txt" && break
        kill -0 $pid 2>/dev/null || break
        sleep 0.1
    done
    import -window root "$out/screen.png"
    xdotool search --sync --name "^KIVREL$" windowfocus --sync key Escape || true
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
# The window covers the screen: corner and centre pixels show the clear colour.
for point in 0,0 160,100 319,199; do
    pixel=$(convert "$out/screen.png" -format "%[pixel:p{$point}]" info:)
    case "$pixel" in
    "srgb(51,102,153)" | "rgb(51,102,153)") ;;
    *)
        echo "FAIL: pixel $point is $pixel, expected (51,102,153)"
        exit 1
        ;;
    esac
done
echo "PASS"
