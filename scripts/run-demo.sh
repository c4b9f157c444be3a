#!/bin/sh
# Builds the product and runs it against the bundled simulator.
set -e
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B BUILD -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build BUILD -j "$(nproc)"
echo "Built into BUILD/bin:"; ls BUILD/bin
