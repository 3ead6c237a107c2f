#!/usr/bin/env bash
# Builds and runs the tests under AddressSanitizer+UndefinedBehaviorSanitizer and
# under ThreadSanitizer, each in its own build folder.
#   scripts/sanitize.sh [address|thread] [ctest -R regex]
#   CMAKE_EXTRA_ARGS is passed to cmake as in setup.sh (for example a compiler launcher).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
kinds=("${1:-address}")
if [[ $# -eq 0 ]]; then kinds=(address thread); fi
regex="${2:-}"
SETUP_ONLY_PACKAGES=1 "$ROOT/scripts/setup.sh"
for kind in "${kinds[@]}"; do
  dir="$ROOT/build-$kind"
  cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQVX_SANITIZE="$kind" -DQVX_BUILD_BENCH=OFF ${CMAKE_EXTRA_ARGS:-} >/dev/null
  cmake --build "$dir" --parallel "$(nproc)"
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$ROOT/scripts/tsan.supp"
  (cd "$dir" && ctest --output-on-failure --parallel "$(nproc)" --timeout 1800 ${regex:+-R "$regex"})
done
