#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
export BUILD_DIR
"$ROOT/scripts/setup.sh"
cd "$BUILD_DIR"
ctest --output-on-failure --parallel "$(nproc)" --timeout 900 ${CTEST_EXTRA_ARGS:-}
