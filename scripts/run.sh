#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program with a simulated unit.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
export BUILD_DIR
"$ROOT/scripts/setup.sh"
if [[ -x "$BUILD_DIR/QV+Analog/QV+Analog" ]]; then
  exec "$BUILD_DIR/QV+Analog/QV+Analog" --simulate "$@"
fi
# Until the window exists: make a demo recording and show it with the command-line front end.
DEMO="${QVX_DEMO_DIR:-${TMPDIR:-/tmp}/qvanalog-demo}"
"$BUILD_DIR/tools/qvanalog/qvanalog" make-demo-report "$DEMO" >/dev/null
"$BUILD_DIR/tools/qvanalog/qvanalog" info "$DEMO"
"$BUILD_DIR/tools/qvanalog/qvanalog" read "$DEMO" --index 0
