#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: unit, gpu and e2e,
# then the unit tests again under AddressSanitizer and UndefinedBehaviorSanitizer, then the
# Windows build (mingw-w64) and its tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake -B build -G Ninja -DKIVREL_WERROR=ON >/dev/null
cmake --build build
# Two at a time: the e2e runs wait on lavapipe and Xvfb as much as they compute.
ctest --test-dir build --output-on-failure -j2

cmake -B build-sanitize -G Ninja -DKIVREL_SANITIZE=ON -DKIVREL_WERROR=ON >/dev/null
cmake --build build-sanitize --target kivrel_unit_tests kivrel_window_tests kivrel_timeline_fuzz_replay
ctest --test-dir build-sanitize -L unit --output-on-failure -j2

# Windows: its own build folder, one throw-away Wine prefix for all its runs.
cmake -B build-win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DKIVREL_WERROR=ON \
      -DKIVREL_LINUX_BUILD="$PWD/build" >/dev/null
cmake --build build-win32
KIVREL_WINEPREFIX=$(mktemp -d /tmp/kivrel-wine.XXXXXX)
export KIVREL_WINEPREFIX
trap 'WINEPREFIX=$KIVREL_WINEPREFIX wineserver -k 2>/dev/null || true; rm -rf "$KIVREL_WINEPREFIX"' EXIT
bash tests/win32/wine_run.sh prepare "$KIVREL_WINEPREFIX"
ctest --test-dir build-win32 --output-on-failure
