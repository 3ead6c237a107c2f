#!/bin/sh
# Renders the GUI library's dialogs offscreen into PNGs: display trigger dialog
# (Single with a pulse slope, and None), marker strip, track popup, device
# selection with two simulated units, and a notification box.
# Usage: scripts/screenshot-dialogs.sh [build folder] [output folder]
# Env: UI_LANG (ja or en; default the locale's language).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build-dialogs"}
out=${2:-"$build/screenshots"}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" --target qvx-dialog-screenshots --parallel 2
QT_QPA_PLATFORM=offscreen QVPLUS_SIMULATED_UNITS=AN0001,AN0002 \
    "$build/QVxWinGUICommon/tests/qvx-dialog-screenshots" "$out" ${UI_LANG:+--lang "$UI_LANG"}
