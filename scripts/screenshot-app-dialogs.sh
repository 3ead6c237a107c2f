#!/usr/bin/env bash
# Renders the application's dialogs (About, collection settings editable and
# read-only, environment, cache-folder re-entry) into PNGs under Xvfb.
#
#   scripts/screenshot-app-dialogs.sh [OUT_DIR]     (default /tmp/qvplus-dialog-shots)
#
# Env: BUILD (build folder, default build), UI_LANG (ja or en; default the
# locale's language). Prints the PNG paths.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
OUT=${1:-/tmp/qvplus-dialog-shots}
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$BUILD" --target qvplusanalog-dialog-screenshots --parallel 2 >/dev/null
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1400x900x24" \
  "$BUILD/QV+Analog/tests/qvplusanalog-dialog-screenshots" "$OUT" ${UI_LANG:+--lang "$UI_LANG"}
