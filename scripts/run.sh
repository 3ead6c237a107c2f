#!/usr/bin/env bash
# Installs what is missing, builds, and starts QV+Analog with a simulated unit.
# Arguments are passed on to the program (e.g. a session file to open).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
export BUILD_DIR
"$ROOT/scripts/setup.sh"
APP="$BUILD_DIR/QV+Analog/QV+Analog"
if [[ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" && "${QT_QPA_PLATFORM:-}" != offscreen ]]; then
  echo "No display: start $APP --simulate on a desktop, or take screenshots of it under Xvfb" >&2
  echo "with scripts/screenshot-app.sh." >&2
  exit 1
fi
exec "$APP" --simulate "$@"
