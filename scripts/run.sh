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
# Until the main window exists: record a few seconds from a simulated unit with the
# command-line front end, then show the recording in the waveform window (or, without
# a display, summarise it). Each run records into a fresh folder.
QVANALOG="$BUILD_DIR/tools/qvanalog/qvanalog"
VIEWER="$BUILD_DIR/QVxWinGUICommon/qvx-waveform-viewer"
OUT="${QVX_DEMO_DIR:-$(mktemp -d "${TMPDIR:-/tmp}/qvanalog-demo.XXXXXX")}"
"$QVANALOG" record --simulate --rate 1M --duration "${QVX_DEMO_SECONDS:-3}" --out "$OUT/demo.qvxa"
if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" && -x "$VIEWER" ]]; then
  exec "$VIEWER" "$OUT/demo.qvxa"
fi
"$QVANALOG" info "$OUT/demo.qvxa"
echo "session: $OUT/demo.qvxa (no display: open it later with $VIEWER)"
