#!/usr/bin/env bash
# kivrel-capture.exe and kivrel-bench.exe under Wine, with the host's validation layer: frames
# 1649 and 1650 at 128 x 72 (PNG through the Windows Imaging Component) are the golden frames
# within the golden test's tolerance (at most 9 of 9216 pixels differ at all); --video is refused
# without ffmpeg.exe on the PATH and hands one (a stand-in) every argument whole; the bench runs.
# Usage: tools_check.sh <capture.exe> <bench.exe> <ffmpeg stand-in .exe> <golden folder> <output folder>
set -euo pipefail
capture=$1 bench=$2 stand_in=$3 golden=$4 out=$5 here=$(cd "$(dirname "$0")" && pwd)
wine_run() { bash "$here/wine_run.sh" "$@"; }
export VK_INSTANCE_LAYERS=VK_LAYER_KHRONOS_validation KIVREL_HOST_VULKAN_LAYERS=VK_LAYER_KHRONOS_validation
rm -rf "$out" && mkdir -p "$out/bin" && cd "$out"
fail() { cat "$1"; echo "FAIL: $2"; exit 1; }

wine_run "$capture" --validation --out frames --from 1649 --to 1650 --size 128x72 --render-size 128x72 \
    >capture.log 2>&1 || fail capture.log "the capture did not finish"
for frame in 01649 01650; do # ImageMagick's absolute error: the count of pixels that differ at all
    differing=$(compare -metric AE "frames/frame_$frame.png" "$golden/frame_$frame.png" null: 2>&1) || true
    echo "frame $frame: $differing pixels differ from the golden frame"
    [[ $differing =~ ^[0-9]+$ ]] && [ "$differing" -le 9 ] || fail /dev/null "frame $frame is not the golden frame"
done

code=0 && wine_run "$capture" --out video --video clip.mp4 >video.log 2>&1 || code=$?
[ "$code" -eq 1 ] && grep -q "needs ffmpeg, which is not installed" video.log && [ ! -e video/frame_00000.png ] ||
    fail video.log "--video without ffmpeg.exe was not refused (exit $code)"
cp "$stand_in" bin/ffmpeg.exe # it writes its arguments, one a line, where the video goes
WINEPATH="Z:$PWD/bin" wine_run "$capture" --out video --from 0 --to 3 --size 64x36 --render-size 64x36 \
    --video "video/a clip.mp4" >video.log 2>&1 || fail video.log "the video step failed"
video=$(printf 'Z:%s\\video\\' "$(pwd | tr / '\\')")
expected="-nostdin -y -loglevel error -framerate 60 -start_number 0 -t 0.066666667 -i ${video}frame_%05d.png
-i ${video}soundtrack.wav -pix_fmt yuv420p -shortest ${video}a clip.mp4"
[ "$(tr '\n' ' ' <"video/a clip.mp4")" = "$(tr '\n' ' ' <<<"$expected")" ] ||
    fail "video/a clip.mp4" "ffmpeg.exe was not handed the frames, the sound and the video path"

wine_run "$bench" --validation --frame 2 --frames 3 --warmup 1 --size 64x36 >bench.log 2>&1 &&
    grep -q "GPU, whole chain" bench.log || fail bench.log "the bench did not print its table"
echo "PASS"
