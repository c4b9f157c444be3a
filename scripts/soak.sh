#!/usr/bin/env bash
# Soak: the configurator against the simulator playing a bad line, for a long time
# (30 minutes unless told otherwise). Not part of the test suite.
#
#   scripts/soak.sh [minutes]
#
# Two loads run side by side, each against its own simulator with faults:
#  1. vesk_soak (bench/vesk_soak.cpp): the configurator's exchange engine in one long-lived
#     process, as the window keeps it busy: every operative parameter polled on its timer
#     while read-all tasks follow one another. The headless configurator has no polling of
#     its own, so this is the long-lived configurator of the soak.
#  2. vesk-configurator itself, started again and again: an unattended read of the whole
#     tree, then --get of every operative parameter.
# It prints the memory (RSS) of the long-lived engine and of both simulators after the
# warm-up and at the end, the largest RSS of the started configurators early and late,
# the size of the settings folder, and the number of requests each simulator received.
# It fails when any of them grew by more than 10 % after the warm-up, or on a hang: a
# started configurator that outlives its limit, or an engine that stops reporting.
#
# Environment: VESK_BUILD, the build folder (default: BUILD in the repository); the
# programs are taken from its bin/ and bench/ folders, vesk_soak built when missing.

set -u

minutes=${1:-30}
if ! [[ "$minutes" =~ ^[0-9]+$ ]] || [ "$minutes" -lt 1 ]; then
  echo "usage: $0 [minutes]" >&2
  exit 2
fi

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${VESK_BUILD:-$repo/BUILD}
bin=$build/bin
soak=$build/bench/vesk_soak
for program in "$bin/vesk-sim" "$bin/vesk-configurator" "$bin/vesk.tree.dat"; do
  [ -e "$program" ] || { echo "soak: $program is missing; build first" >&2; exit 2; }
done
if [ ! -x "$soak" ]; then
  cmake --build "$build" --target vesk_soak >/dev/null || {
    echo "soak: cannot build vesk_soak (needs VESK_BUILD_BENCH and Google Benchmark)" >&2
    exit 2
  }
fi

work=$(mktemp -d /tmp/vesk-soak.XXXXXX)
export HOME=$work XDG_CONFIG_HOME=$work/config VESK_TREE_DAT=$bin/vesk.tree.dat
mkdir -p "$XDG_CONFIG_HOME"

duration=$((minutes * 60))
warmup=$((duration / 10 < 60 ? 60 : duration / 10))
[ "$warmup" -ge "$duration" ] && warmup=$((duration / 2))
report_every=10
run_limit=120        # seconds a started configurator may take (a read needs a few)
engine_silence=60    # seconds without a report line from vesk_soak that count as a hang
growth_limit=10      # per cent
faults=(--drop 0.05 --corrupt 0.02 --garbage 0.02 --wrong-hash 0.02)
operative=(r.cn)
for i in $(seq 0 11); do operative+=("r.cou:$i"); done
for i in $(seq 0 7); do operative+=("r.oe:$i"); done

pids=()
# shellcheck disable=SC2317  # run by the trap
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

failures=()
fail() { failures+=("$1"); echo "soak: FAIL: $1"; }

rss_of() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status" 2>/dev/null || echo 0; }
folder_bytes() { du -sb "$1" 2>/dev/null | cut -f1; }
growth() {  # per cent from $1 to $2, whole
  if [ "${1:-0}" -gt 0 ]; then echo $(((${2:-0} - $1) * 100 / $1)); else echo 0; fi
}

# A simulator on a pseudo-terminal; its trace goes to a counter of received requests.
# Sets sim_pid and sim_pty.
start_sim() {
  local name=$1 seed=$2
  "$bin/vesk-sim" --bps 115200 "${faults[@]}" --seed "$seed" \
    --trace >(grep -c ' RX ' >"$work/$name.received") \
    >"$work/$name.out" 2>"$work/$name.err" &
  sim_pid=$!
  pids+=("$sim_pid")
  sim_pty=
  for _ in $(seq 100); do
    sim_pty=$(head -n1 "$work/$name.out" 2>/dev/null)
    [ -n "$sim_pty" ] && return 0
    sleep 0.1
  done
  echo "soak: vesk-sim did not start: $(cat "$work/$name.err")" >&2
  exit 2
}

start_sim engine-sim 11
engine_sim=$sim_pid engine_pty=$sim_pty
start_sim process-sim 12
process_sim=$sim_pid process_pty=$sim_pty

echo "soak: $minutes min, warm-up $warmup s, faults: ${faults[*]}"
"$soak" --port "$engine_pty" --seconds "$duration" --report-seconds "$report_every" \
  >"$work/engine.out" 2>"$work/engine.err" &
engine=$!
pids+=("$engine")

# One started configurator with a time limit; sets run_rss to its largest RSS in kB, or
# fails (and returns 1) after a hang.
run_configurator() {
  /usr/bin/time -f %M -o "$work/time.txt" timeout -s KILL "$run_limit" \
    "$bin/vesk-configurator" --no-gui "--port=$process_pty" --bps=115200 "$@" \
    >"$work/run.out" 2>"$work/run.err"
  local rc=$?
  if [ "$rc" -eq 137 ] || grep -q "terminated by signal" "$work/time.txt"; then
    fail "vesk-configurator $* did not end within $run_limit s"
    return 1
  fi
  run_rss=$(tail -n1 "$work/time.txt")
}

start=$(date +%s)
runs=0 gets=0 early_max=0 late_max=0
engine_warm_rss='' settings_warm=''
sim_warm=()
last_engine_line=$start
while :; do
  now=$(date +%s)
  elapsed=$((now - start))
  [ "$elapsed" -ge "$duration" ] && break
  if [ -z "$engine_warm_rss" ] && [ "$elapsed" -ge "$warmup" ]; then
    engine_warm_rss=$(rss_of "$engine")
    sim_warm=("$(rss_of "$engine_sim")" "$(rss_of "$process_sim")")
    settings_warm=$(folder_bytes "$XDG_CONFIG_HOME")
  fi
  # The engine reports every $report_every s; silence means it hangs.
  if [ "$(wc -l <"$work/engine.out")" -gt "${engine_lines:-0}" ]; then
    engine_lines=$(wc -l <"$work/engine.out")
    last_engine_line=$now
  elif [ $((now - last_engine_line)) -gt "$engine_silence" ]; then
    fail "vesk_soak reported nothing for $engine_silence s"
    break
  fi
  if ! kill -0 "$engine" 2>/dev/null; then
    wait "$engine"
    fail "vesk_soak ended early with code $?: $(tail -n2 "$work/engine.out" "$work/engine.err")"
    break
  fi

  run_configurator /read/close -- "$work/c.vesk" || break
  rss=$run_rss
  runs=$((runs + 1))
  for name in "${operative[@]}"; do
    run_configurator "--get=$name" || break 2
    gets=$((gets + 1))
    [ "$run_rss" -gt "$rss" ] && rss=$run_rss
  done
  # The largest RSS in the minute after the warm-up, and in the last minute.
  if [ "$elapsed" -ge "$warmup" ] && [ "$elapsed" -lt $((warmup + 60)) ] && [ "$rss" -gt "$early_max" ]; then
    early_max=$rss
  fi
  if [ "$elapsed" -ge $((duration - 60)) ] && [ "$rss" -gt "$late_max" ]; then late_max=$rss; fi
done

sim_end=("$(rss_of "$engine_sim")" "$(rss_of "$process_sim")")
settings_end=$(folder_bytes "$XDG_CONFIG_HOME")
if [ ${#failures[@]} -eq 0 ]; then
  # vesk_soak ends by itself once the time is up; its last line is the summary.
  for _ in $(seq "$engine_silence"); do kill -0 "$engine" 2>/dev/null || break; sleep 1; done
  if kill -0 "$engine" 2>/dev/null; then
    fail "vesk_soak did not end after its time"
  else
    wait "$engine" || fail "vesk_soak ended with code $?"
  fi
fi
for pid in "$engine_sim" "$process_sim"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
sleep 0.5  # the trace counters write their counts once the simulators are gone

summary=$(grep '^soak end' "$work/engine.out" | tail -n1)
[ -z "$summary" ] && summary=$(grep '^soak ' "$work/engine.out" | tail -n1)
field() { sed -n "s/.* $1=\([0-9]*\).*/\1/p" <<<"$summary"; }
# The engine's own last line tells its memory at the end.
engine_end_rss=$(field rss_kb)
[ -z "$engine_warm_rss" ] && engine_warm_rss=$engine_end_rss
[ ${#sim_warm[@]} -eq 0 ] && sim_warm=("${sim_end[@]}")
[ -z "$settings_warm" ] && settings_warm=$settings_end
engine_growth=$(growth "$engine_warm_rss" "$engine_end_rss")
sim1_growth=$(growth "${sim_warm[0]}" "${sim_end[0]}")
sim2_growth=$(growth "${sim_warm[1]}" "${sim_end[1]}")
late_growth=$(growth "$early_max" "$late_max")

echo
echo "long-lived configurator engine (vesk_soak): RSS $engine_warm_rss kB after warm-up, $engine_end_rss kB at the end ($engine_growth %)"
echo "  read-all tasks $(field tasks), parameter reads in them $(field task_reads), polls $(field polls) (failed $(field poll_errors)), messages $(field messages)"
echo "  its simulator: RSS ${sim_warm[0]} kB -> ${sim_end[0]} kB ($sim1_growth %), requests received $(cat "$work/engine-sim.received" 2>/dev/null)"
echo "started configurators: $runs reads of the whole tree, $gets reads of operative parameters"
echo "  largest RSS: $early_max kB in the minute after warm-up, $late_max kB in the last minute ($late_growth %)"
echo "  their simulator: RSS ${sim_warm[1]} kB -> ${sim_end[1]} kB ($sim2_growth %), requests received $(cat "$work/process-sim.received" 2>/dev/null)"
echo "  settings folder: $settings_warm bytes -> $settings_end bytes"

[ "$engine_growth" -gt "$growth_limit" ] && fail "the engine's RSS grew by $engine_growth %"
[ "$sim1_growth" -gt "$growth_limit" ] && fail "the engine's simulator grew by $sim1_growth %"
[ "$sim2_growth" -gt "$growth_limit" ] && fail "the second simulator grew by $sim2_growth %"
[ "$late_growth" -gt "$growth_limit" ] && fail "the started configurators grew by $late_growth %"
[ "${settings_end:-0}" -gt "${settings_warm:-0}" ] && fail "the settings folder grew"

if [ ${#failures[@]} -eq 0 ]; then
  echo "soak: PASS"
  exit 0
fi
echo "soak: FAIL (${#failures[@]})"
exit 1
