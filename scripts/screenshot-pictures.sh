#!/usr/bin/env bash
# Pictures of the monitor window and page 1 of a PDF report, to look at: the saved PNG,
# the saved SVG as Qt SVG draws it, the report's first page in Japanese and in English
# (rendered by pdftoppm), from the picture tests on the offscreen platform.
#
#   scripts/screenshot-pictures.sh [OUT_DIR]     (default /tmp/qvplus-picture-shots)
#
# Env: BUILD (build folder, default build). Prints the PNG paths.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
OUT=${1:-/tmp/qvplus-picture-shots}
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$BUILD" --target qvplusanalog_picture_tests --parallel 2 >/dev/null
rm -rf "$OUT"
mkdir -p "$OUT"
QT_QPA_PLATFORM=offscreen QVX_SCREENSHOT_DIR="$OUT" "$BUILD/QV+Analog/Pictures/qvplusanalog_picture_tests" >/dev/null
ls "$OUT"/*.png
