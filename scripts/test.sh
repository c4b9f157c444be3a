#!/bin/sh
# Builds and runs the whole test suite: under AddressSanitizer + UBSan, then the
# install and the Debian package from that build, then the threaded parts under
# ThreadSanitizer, then a short fuzzing smoke run.
# `scripts/test.sh PRESET` runs one preset only (asan, tsan, debug).
set -e
cd "$(dirname "$0")/.."
scripts/install-deps.sh
JOBS="$(nproc)"

# run_preset PRESET [CTEST_ARGS [TARGETS]]: TARGETS limits the build to what those tests need.
run_preset() {
  cmake --preset "$1" >/dev/null
  if [ -n "${3:-}" ]; then
    cmake --build --preset "$1" -j "$JOBS" --target $3
  else
    cmake --build --preset "$1" -j "$JOBS"
  fi
  ctest --preset "$1" -j "$JOBS" --timeout 300 ${2:-}
}

# Formatting is the tool's (Debian's clang-format 14), not review's.
scripts/check-format.sh

if [ -n "$1" ]; then
  run_preset "$1"
  exit 0
fi
run_preset asan
# Installed as a Linux system would, from the build just made.
scripts/test-install.sh BUILD-asan
# The engine, its workers, the unattended run and the window's threads are where threads
# meet; the window's tests run on the offscreen platform.
run_preset tsan "-L ^(link|exchange|app|sim|ui)$" \
  "test_link test_exchange test_app test_sim test_ui_window"
if [ -x scripts/fuzz.sh ]; then
  scripts/fuzz.sh --smoke
fi
