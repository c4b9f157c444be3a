#!/bin/sh
# Builds with a preset (asan by default) and runs the whole test suite.
set -e
cd "$(dirname "$0")/.."
PRESET="${1:-asan}"
scripts/install-deps.sh
cmake --preset "$PRESET" >/dev/null
cmake --build --preset "$PRESET" -j "$(nproc)"
ctest --preset "$PRESET" -j "$(nproc)" --timeout 300
