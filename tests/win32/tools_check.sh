#!/usr/bin/env bash
# The Windows kivrel-capture and kivrel-bench under Wine, with the host's validation layer:
# frames 1649 and 1650 at 128 x 72 (PNG through the Windows Imaging Component) against the
# golden frames within the golden test's tolerance (at most 9 of the 9216 pixels differ at
# all), --video without ffmpeg.exe on the PATH refused before rendering and with one run with
# every argument whole, and a short bench.
# Usage: tools_check.sh <kivrel-capture.exe> <kivrel-bench.exe> <ffmpeg stand-in .exe> <golden folder>
#                       <output folder>
set -euo pipefail
capture=$1
bench=$2
stand_in=$3
golden=$4
out=$5
here=$(cd "$(dirname "$0")" && pwd)
export VK_INSTANCE_LAYERS=VK_LAYER_KHRONOS_validation KIVREL_HOST_VULKAN_LAYERS=VK_LAYER_KHRONOS_validation
rm -rf "$out"
mkdir -p "$out"
cd "$out"
fail() {
    echo "FAIL: $1"
    exit 1
}

bash "$here/wine_run.sh" "$capture" --validation --out frames --from 1649 --to 1650 --size 128x72 \
    --render-size 128x72 >capture.log 2>&1 || { cat capture.log; fail "the capture did not finish"; }
for frame in 01649 01650; do
    # ImageMagick's absolute error: the count of pixels that differ at all.
    differing=$(compare -metric AE "frames/frame_$frame.png" "$golden/frame_$frame.png" null: 2>&1) || true
    echo "frame $frame: $differing pixels differ from the golden frame"
    [[ $differing =~ ^[0-9]+$ ]] && [ "$differing" -le 9 ] || fail "frame $frame is not the golden frame"
done

code=0
bash "$here/wine_run.sh" "$capture" --out video --video clip.mp4 >video.log 2>&1 || code=$?
[ "$code" -eq 1 ] && grep -q "needs ffmpeg, which is not installed" video.log && [ ! -e video/frame_00000.png ] ||
    { cat video.log; fail "--video without ffmpeg.exe was not refused (exit $code)"; }

# With ffmpeg.exe on the PATH (a stand-in that writes its arguments where the video goes).
mkdir -p bin
cp "$stand_in" bin/ffmpeg.exe
WINEPATH="Z:$PWD/bin" bash "$here/wine_run.sh" "$capture" --out video --from 0 --to 3 --size 64x36 \
    --render-size 64x36 --video "video/a clip.mp4" >video.log 2>&1 || { cat video.log; fail "the video step failed"; }
video=$(printf 'Z:%s\\video\\' "$(pwd | tr / '\\')")
expected="-nostdin -y -loglevel error -framerate 60 -start_number 0 -t 0.066666667 -i ${video}frame_%05d.png
-i ${video}soundtrack.wav -pix_fmt yuv420p -shortest ${video}a clip.mp4"
[ "$(tr '\n' ' ' <"video/a clip.mp4")" = "$(tr '\n' ' ' <<<"$expected")" ] ||
    { cat "video/a clip.mp4"; fail "ffmpeg.exe was not handed the frames, the sound and the video path"; }

bash "$here/wine_run.sh" "$bench" --validation --frame 2 --frames 3 --warmup 1 --size 64x36 >bench.log 2>&1 ||
    { cat bench.log; fail "the bench did not finish"; }
grep -q "GPU, whole chain" bench.log || { cat bench.log; fail "the bench printed no chain time"; }
echo "PASS"
