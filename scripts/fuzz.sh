#!/bin/bash
# Runs the libFuzzer targets one after another and reports, per target, the executions,
# the time and the findings; exits nonzero when any target found something.
#
#   scripts/fuzz.sh --smoke             build the fuzz preset, replay the regression inputs,
#                                       then about 10 seconds per target
#   scripts/fuzz.sh [--time S] [T...]   S seconds per target (default 300) for the targets
#                                       T (default all), after the regression replay
#   scripts/fuzz.sh --runs N [T...]     N executions per target (no time limit unless
#                                       --time is given too)
#   --workers W                         W processes per target over one corpus (the
#                                       executions reported are their sum)
#   scripts/fuzz.sh --replay            only build and replay the regression inputs
#   --no-build                          use the binaries already in BUILD-fuzz
# FUZZ_LOGS=DIR puts the logs there instead of BUILD-fuzz/logs.
#
# The checked-in seeds (fuzz/corpus/<target>) are read, never written: what a run learns
# goes to BUILD-fuzz/corpus/<target>, crashing inputs to BUILD-fuzz/findings/<target>/.
# Copy a finding into fuzz/regressions/<target>/ to keep it replayed from then on.
set -u
cd "$(dirname "$0")/.."
ROOT="$PWD"
BUILD="$ROOT/BUILD-fuzz"
ALL_TARGETS="fuzz_reply fuzz_description fuzz_vesk fuzz_json fuzz_cmdline fuzz_rfc2217"

seconds=300
time_set=0
runs_wanted=""
workers=1
build=1
replay_only=0
targets=""
while [ $# -gt 0 ]; do
  case "$1" in
    --smoke) seconds=10 ;;
    --time) seconds="$2"; time_set=1; shift ;;
    --time=*) seconds="${1#--time=}"; time_set=1 ;;
    --runs) runs_wanted="$2"; shift ;;
    --runs=*) runs_wanted="${1#--runs=}" ;;
    --workers) workers="$2"; shift ;;
    --workers=*) workers="${1#--workers=}" ;;
    --no-build) build=0 ;;
    --replay) replay_only=1 ;;
    -h|--help) sed -n '2,19p' "$0"; exit 0 ;;
    fuzz_*) targets="$targets $1" ;;
    *) echo "fuzz.sh: unknown argument '$1'" >&2; exit 2 ;;
  esac
  shift
done
[ -n "$targets" ] || targets="$ALL_TARGETS"
bounds=(-max_total_time="$seconds")
if [ -n "$runs_wanted" ]; then
  # --runs is the total over all workers.
  bounds=(-runs="$(( (runs_wanted + workers - 1) / workers ))")
  [ "$time_set" = 1 ] && bounds+=(-max_total_time="$seconds")
fi

if [ "$build" = 1 ]; then
  cmake --preset fuzz >/dev/null || exit 2
  cmake --build --preset fuzz -j "${FUZZ_BUILD_JOBS:-2}" --target $targets >/dev/null || {
    echo "fuzz.sh: build failed" >&2
    exit 2
  }
fi

# The largest input worth trying: a reply line is at most 44 characters (with room for
# the junk a line can carry), a description or a configuration some tens of kilobytes, a
# Telnet server's stream a few reads.
max_len() {
  case "$1" in
    fuzz_reply) echo 96 ;;
    fuzz_description) echo 16384 ;;
    fuzz_vesk | fuzz_json) echo 32768 ;;
    fuzz_rfc2217) echo 512 ;;
    *) echo 4096 ;;
  esac
}

# Sanitizer findings must end the run with the input kept.
# A small quarantine and short allocation stacks keep a long run fast and its memory flat;
# a finding is replayed with the full defaults when it is examined.
export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1:allocator_may_return_null=0:quarantine_size_mb=32:malloc_context_size=5}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

failed=0
printf '%-18s %12s %8s  %s\n' target executions seconds findings

for t in $targets; do
  bin="$BUILD/bin/$t"
  if [ ! -x "$bin" ]; then
    echo "fuzz.sh: $bin is missing (build the fuzz preset)" >&2
    failed=1
    continue
  fi
  findings="$BUILD/findings/$t"
  work="$BUILD/corpus/$t"
  logs="${FUZZ_LOGS:-$BUILD/logs}"
  mkdir -p "$findings" "$work" "$logs"
  dict=()
  [ -f "fuzz/$t.dict" ] && dict=(-dict="fuzz/$t.dict")
  limits=(-max_len="$(max_len "$t")" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512)

  # Every kept crash first: each input runs once and must pass.
  regressions=()
  if [ -d "fuzz/regressions/$t" ]; then
    while IFS= read -r -d '' f; do regressions+=("$f"); done \
      < <(find "fuzz/regressions/$t" -type f -print0 | sort -z)
  fi
  if [ ${#regressions[@]} -gt 0 ]; then
    if ! "$bin" "${limits[@]}" "${regressions[@]}" >"$logs/$t.replay.log" 2>&1; then
      printf '%-18s %12s %8s  %s\n' "$t" - - "regression input fails again, see $logs/$t.replay.log"
      failed=1
      continue
    fi
  fi
  if [ "$replay_only" = 1 ]; then
    printf '%-18s %12s %8s  %s\n' "$t" "${#regressions[@]}" - "regressions pass"
    continue
  fi

  before=$(find "$findings" -type f | wc -l)
  start=$(date +%s)
  # Workers share the corpus folder and pick up each other's finds, as libFuzzer's own
  # -jobs does.
  pids=()
  for w in $(seq 1 "$workers"); do
    log="$logs/$t.log"
    [ "$w" -gt 1 ] && log="$logs/$t.w$w.log"
    "$bin" "${dict[@]}" "${limits[@]}" "${bounds[@]}" -print_final_stats=1 \
      -artifact_prefix="$findings/" "$work" "fuzz/corpus/$t" >"$log" 2>&1 &
    pids+=($!)
  done
  rc=0
  for pid in "${pids[@]}"; do
    wait "$pid" || rc=$?
  done
  elapsed=$(( $(date +%s) - start ))
  worker_logs=("$logs/$t.log")
  for w in $(seq 2 "$workers"); do worker_logs+=("$logs/$t.w$w.log"); done
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "${worker_logs[@]}" |
    awk '{ n += $1 } END { if (NR) print n }')
  after=$(find "$findings" -type f | wc -l)
  if [ $rc -ne 0 ] || [ "$after" -gt "$before" ]; then
    what=$(grep -h -m1 -E '^(==[0-9]+==ERROR|SUMMARY|fuzz property failed|.*runtime error)' \
      "${worker_logs[@]}" | head -1)
    printf '%-18s %12s %8s  %s\n' "$t" "${runs:-?}" "$elapsed" \
      "FOUND (exit $rc): ${what:-see log}; inputs in $findings, log $logs/$t.log"
    failed=1
  else
    printf '%-18s %12s %8s  %s\n' "$t" "${runs:-?}" "$elapsed" none
  fi
done
exit $failed
