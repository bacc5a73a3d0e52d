#!/usr/bin/env bash
# Installs what is missing, builds the piece and plays it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target kivrel
exec build/app/kivrel
