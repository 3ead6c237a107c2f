#!/usr/bin/env bash
# Builds the libFuzzer targets (clang-14, AddressSanitizer + UndefinedBehaviorSanitizer) into
# build-fuzz/ and runs them on their corpora.
#
#   scripts/fuzz.sh TARGET [SECONDS]   # one target (default 60 s)
#   scripts/fuzz.sh all SECONDS        # every target in turn
#   scripts/fuzz.sh list               # the target names
#
# Each run starts from the seeds in fuzz/corpus/TARGET and the saved findings in
# fuzz/regressions/TARGET; what it adds to the corpus stays in build-fuzz/corpus/TARGET, and a
# crashing or hanging input is written to build-fuzz/findings/TARGET/. To keep a finding, copy
# it into fuzz/regressions/TARGET/ (the normal test run replays that folder). Exits 1 when any
# run found something. One job per run, so the machine keeps its other cores.
# CMAKE_EXTRA_ARGS is passed to cmake as in setup.sh; FUZZ_ARGS to every fuzzer run.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${FUZZ_BUILD_DIR:-$ROOT/build-fuzz}"
TARGETS=(report_reader report_overview settings meta prefs report_query family sim_env)

usage() {
  sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'
  exit 2
}

[[ $# -ge 1 ]] || usage
if [[ "$1" == list ]]; then
  printf '%s\n' "${TARGETS[@]}"
  exit 0
fi
if [[ "$1" == all ]]; then
  [[ $# -eq 2 ]] || usage
  selected=("${TARGETS[@]}")
else
  [[ " ${TARGETS[*]} " == *" $1 "* ]] || { echo "fuzz.sh: unknown target '$1' (scripts/fuzz.sh list)" >&2; exit 2; }
  selected=("$1")
fi
seconds="${2:-60}"
[[ "$seconds" =~ ^[0-9]+$ ]] || usage

SETUP_ONLY_PACKAGES=1 "$ROOT/scripts/setup.sh"
if [[ ! -f "$BUILD/CMakeCache.txt" ]]; then
  CC=clang-14 CXX=clang++-14 cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQVX_BUILD_FUZZERS=ON -DQVX_BUILD_TESTS=OFF -DQVX_BUILD_BENCH=OFF \
    -DCMAKE_UNITY_BUILD=ON -DCMAKE_UNITY_BUILD_BATCH_SIZE=16 ${CMAKE_EXTRA_ARGS:-} >/dev/null
fi
cmake --build "$BUILD" --parallel "$(nproc)" --target "${selected[@]/#/fuzz_}"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:symbolize=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$ROOT/fuzz/ubsan.supp"
status=0
for target in "${selected[@]}"; do
  corpus="$BUILD/corpus/$target"
  findings="$BUILD/findings/$target"
  mkdir -p "$corpus" "$findings" "$ROOT/fuzz/regressions/$target"
  args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="$findings/")
  [[ -f "$ROOT/fuzz/dict/$target.dict" ]] && args+=(-dict="$ROOT/fuzz/dict/$target.dict")
  log="$BUILD/fuzz-$target.log"
  echo "fuzz.sh: $target for $seconds s (log $log)"
  if "$BUILD/fuzz/fuzz_$target" "${args[@]}" ${FUZZ_ARGS:-} "$corpus" "$ROOT/fuzz/corpus/$target" \
      "$ROOT/fuzz/regressions/$target" >"$log" 2>&1; then
    result=ok
  else
    result="FINDING (see $findings/ and the log)"
    status=1
  fi
  # The last coverage line and the final statistics of the run.
  cov=$(grep -Eo 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+/[0-9]+[a-zA-Z]*' "$log" | tail -1 || true)
  execs=$(grep -Eo 'stat::number_of_executed_units: [0-9]+' "$log" | grep -Eo '[0-9]+$' || echo '?')
  rate='?'
  [[ "$execs" =~ ^[0-9]+$ && "$seconds" -gt 0 ]] && rate=$((execs / seconds))
  echo "fuzz.sh: $target: $result; $execs runs, $rate/s; $cov"
done
exit $status
