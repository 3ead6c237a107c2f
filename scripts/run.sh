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
# make-demo-report writes only into a new or empty folder, so each run takes a fresh one.
DEMO="${QVX_DEMO_DIR:-$(mktemp -d "${TMPDIR:-/tmp}/qvanalog-demo.XXXXXX")}"
"$BUILD_DIR/tools/qvanalog/qvanalog" make-demo-report "$DEMO" >/dev/null
"$BUILD_DIR/tools/qvanalog/qvanalog" info "$DEMO"
"$BUILD_DIR/tools/qvanalog/qvanalog" read "$DEMO" --index 0
echo "demo report: $DEMO (try: qvanalog find $DEMO --time 500000)"
