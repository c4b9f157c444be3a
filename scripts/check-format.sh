#!/bin/sh
# Fails when a C++ source of the project differs from what clang-format makes of it.
cd "$(dirname "$0")/.."
status=0
for f in $(git ls-files '*.cpp' '*.h'); do
  if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
    echo "not formatted: $f (run clang-format -i $f)" >&2
    status=1
  fi
done
exit $status
