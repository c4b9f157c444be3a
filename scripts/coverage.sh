#!/bin/sh
# Measures what the test suite reaches: builds the coverage preset, runs every test once,
# and prints line and branch coverage per layer (platform, link, model, exchange, app, ui,
# sim), then the core's least covered files. Not part of the test command: the
# instrumented build is a fourth build of the whole tree.
#
#   scripts/coverage.sh            build, run the suite, report
#   scripts/coverage.sh --report   report on the counts of the last run only
# COVERAGE_HTML=DIR also writes gcovr's HTML pages there.
set -eu
cd "$(dirname "$0")/.."
BUILD=BUILD-coverage

if ! command -v gcovr >/dev/null 2>&1; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get install -y -qq --no-install-recommends gcovr >/dev/null
fi

if [ "${1:-}" != "--report" ]; then
  scripts/install-deps.sh
  cmake --preset coverage >/dev/null
  cmake --build --preset coverage -j "$(nproc)"
  # Counts from an earlier run would be added to this one's.
  find "$BUILD" -name '*.gcda' -delete
  # A failing test still counts what it reached; the report says so below.
  ctest --preset coverage -j "$(nproc)" --timeout 300 || echo "coverage.sh: some tests failed" >&2
fi

# Each layer on its own, then the core (src/ without ui) as one figure.
report() {
  label="$1"
  shift
  gcovr -r . --object-directory "$BUILD" "$@" --exclude-unreachable-branches \
    --exclude-throw-branches --print-summary -o /dev/null 2>/dev/null |
    awk -v l="$label" '/^lines:/ {ln=$2 " of " substr($6, 1, length($6) - 1)}
      /^branches:/ {br=$2 " of " substr($6, 1, length($6) - 1)}
      END {printf "%-9s lines %-24s branches %s\n", l, ln, br}'
}
for layer in platform link model exchange app ui; do
  report "$layer" --filter "src/$layer/"
done
report sim --filter "sim/"
report core --filter "src/(platform|link|model|exchange|app)/"

echo
echo "least covered files of the core (lines):"
gcovr -r . --object-directory "$BUILD" --filter "src/(platform|link|model|exchange|app)/" \
  --exclude-unreachable-branches --exclude-throw-branches 2>/dev/null |
  awk '$1 ~ /^src\// && NF >= 4 && $4 ~ /%$/ {print}' | sort -t' ' -k1,1 | sort -n -k4,4 | head -10
if [ -n "${COVERAGE_HTML:-}" ]; then
  mkdir -p "$COVERAGE_HTML"
  gcovr -r . --object-directory "$BUILD" --filter "src/" --filter "sim/" \
    --html-details "$COVERAGE_HTML/index.html" >/dev/null 2>&1
  echo "HTML: $COVERAGE_HTML/index.html"
fi
