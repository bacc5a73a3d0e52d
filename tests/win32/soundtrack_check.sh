#!/usr/bin/env bash
# The soundtrack rendered by the Windows kivrel-soundtrack under Wine (Vulkan through volk,
# vulkan-1.dll and winevulkan to the same device) must be the Linux tool's, byte for byte.
# Usage: soundtrack_check.sh <windows tool .exe> <linux tool> <output folder>
set -euo pipefail
windows=$1
linux=$2
out=$3
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
rm -f "$out"/windows.wav "$out"/linux.wav
(cd "$out" && "$linux" linux.wav >linux.log 2>&1)
(cd "$out" && bash "$here/wine_run.sh" "$windows" windows.wav >windows.log 2>&1) || {
    cat "$out/windows.log"
    echo "FAIL: the Windows tool did not finish"
    exit 1
}
cat "$out/windows.log"
if ! cmp "$out/linux.wav" "$out/windows.wav"; then
    echo "FAIL: the two soundtracks differ"
    exit 1
fi
rm -f "$out"/windows.wav "$out"/linux.wav
echo "PASS"
