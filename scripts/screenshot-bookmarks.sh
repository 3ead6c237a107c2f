#!/usr/bin/env bash
# Screenshots of the main window with five bookmarks, the third selected, and the
# bookmarks pane in front, under Xvfb, in Japanese and in English.
#
#   scripts/screenshot-bookmarks.sh [OUT_DIR]     (default /tmp/qvplus-bookmark-shots)
#
# Env: BUILD (build folder, default build). Prints the PNG paths.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
OUT=${1:-/tmp/qvplus-bookmark-shots}
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$BUILD" --target qvplusanalog-bookmark-screenshots qvanalog --parallel 2 >/dev/null
rm -rf "$OUT"
mkdir -p "$OUT/rec" "$OUT/data" "$OUT/config"
# A private application data folder and configuration: the shot never touches the user's.
export QVPLUS_TEMP_DIR="$OUT/data" QVPLUS_FAMILY_DIR="$OUT/family" XDG_CONFIG_HOME="$OUT/config"
CLI="$PWD/$BUILD/tools/qvanalog/qvanalog"
"$CLI" make-demo-report "$OUT/rec/repo" --records 2000000 >/dev/null
"$CLI" settings init "$OUT/rec/rec.qvxa" >/dev/null
for lang in ja en; do
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1400x900x24" \
    "$BUILD/QV+Analog/tests/qvplusanalog-bookmark-screenshots" "$OUT" "$OUT/rec/rec.qvxa" --lang "$lang"
done
