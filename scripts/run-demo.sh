#!/bin/sh
# Builds the product, starts the device simulator, reads the whole device into a
# configuration file with an unattended run of the configurator, and prints that file.
set -e
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B BUILD -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build BUILD -j "$(nproc)"
BIN="$PWD/BUILD/bin"

WORK="$(mktemp -d)"
SIM_PID=""
cleanup() {
  [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null && wait "$SIM_PID" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT INT TERM
# The demo keeps its settings to itself.
export XDG_CONFIG_HOME="$WORK/config"

"$BIN/vesk-sim" --bps 115200 >"$WORK/sim.out" &
SIM_PID=$!
i=0
while [ ! -s "$WORK/sim.out" ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
PTY="$(head -n 1 "$WORK/sim.out")"
[ -n "$PTY" ] || { echo "vesk-sim did not start" >&2; exit 1; }
echo "Simulator on $PTY"

set +e
# Keys in both spellings; a path goes in the long one, and "--" before a file name that
# begins with "/".
"$BIN/vesk-configurator" --port="$PTY" /bps:115200/read/close --elog="$WORK/errors.log" \
  -- "$WORK/device.vesk"
rc=$?
set -e
echo "vesk-configurator /read finished with exit code $rc"
[ -s "$WORK/errors.log" ] && { echo "Error log:"; cat "$WORK/errors.log"; }
[ "$rc" -eq 0 ] || exit "$rc"

"$BIN/vesk-configurator" --print="$WORK/device.vesk"
