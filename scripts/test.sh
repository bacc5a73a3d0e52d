#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: unit, gpu and e2e,
# then the unit tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake -B build -G Ninja -DKIVREL_WERROR=ON >/dev/null
cmake --build build
ctest --test-dir build --output-on-failure

cmake -B build-sanitize -G Ninja -DKIVREL_SANITIZE=ON -DKIVREL_WERROR=ON >/dev/null
cmake --build build-sanitize --target kivrel_unit_tests
ctest --test-dir build-sanitize -L unit --output-on-failure
