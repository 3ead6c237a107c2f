#!/usr/bin/env bash
# Builds and runs the tests under AddressSanitizer+UndefinedBehaviorSanitizer and under
# ThreadSanitizer, each in its own build folder, building only what the runs need:
#   address  build-address/: every target but the benchmarks; every test but the packaging
#            and install checks (labels packaging, install), which test files, not code
#   thread   build-thread/: only the threaded test programs (target threaded_tests, the
#            programs named in QVX_THREADED_TESTS of CMakeLists.txt) and their tests
#            (label threaded)
#   scripts/sanitize.sh [address|thread] [ctest -R regex]     # no argument: both
# Both are Debug builds (assertions on) at -O1 with line tables only: the tests then run
# several times faster than at -O0 and the builds take about as long. Both are unity builds
# (up to 16 sources of a target compiled as one): these trees are built whole, rarely
# incrementally, and the headers are then compiled once per batch instead of once per source,
# which roughly halves the build. So names in a source's anonymous namespace must not clash
# with those of another source of the same target.
# CMAKE_EXTRA_ARGS is passed to cmake as in setup.sh (for example a compiler launcher).
# Findings: a sanitizer report fails the test it comes from. Suppressions, only for findings
# inside Qt or the system libraries and each with its reason: scripts/lsan.supp (leaks),
# scripts/tsan.supp (races).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
kinds=("${1:-address}")
if [[ $# -eq 0 ]]; then kinds=(address thread); fi
regex="${2:-}"
SETUP_ONLY_PACKAGES=1 "$ROOT/scripts/setup.sh"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export LSAN_OPTIONS="suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$ROOT/scripts/tsan.supp"
for kind in "${kinds[@]}"; do
  dir="$ROOT/build-$kind"
  cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_FLAGS_DEBUG="-O1 -g1" \
    -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -DQVX_SANITIZE="$kind" -DQVX_BUILD_BENCH=OFF \
    -DCMAKE_UNITY_BUILD=ON -DCMAKE_UNITY_BUILD_BATCH_SIZE=16 ${CMAKE_EXTRA_ARGS:-} >/dev/null
  case "$kind" in
    address)
      cmake --build "$dir" --parallel "$(nproc)"
      select=(-LE "packaging|install")
      ;;
    thread)
      cmake --build "$dir" --parallel "$(nproc)" --target threaded_tests
      select=(-L threaded)
      ;;
    *)
      echo "sanitize.sh: address or thread, not '$kind'" >&2
      exit 2
      ;;
  esac
  (cd "$dir" && ctest --output-on-failure --parallel "$(nproc)" --timeout 1800 "${select[@]}" ${regex:+-R "$regex"})
done
