#!/usr/bin/env bash
# Records the simulated demo signal with qvanalog and screenshots qvx-waveform-viewer
# on it under Xvfb (a real X server, so fonts and window painting are the desktop's).
#
#   scripts/screenshot-waveform-viewer.sh [OUT_DIR]     (default /tmp/qvx-viewer-shot)
#
# Env: BUILD (build folder, default build-gui), SCALE (ns per pixel, default 1000),
# THEME=dark for the dark look. Prints the PNG paths.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build-gui}
OUT=${1:-/tmp/qvx-viewer-shot}
SCALE=${SCALE:-1000}

if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$BUILD" --target qvanalog qvx-waveform-viewer --parallel 2 >/dev/null

rm -rf "$OUT"
mkdir -p "$OUT/session"
# One second of the simulated unit at 100 kS/s; the generated demo report if recording fails.
if "$BUILD/tools/qvanalog/qvanalog" record --out "$OUT/session/demo.qvxa" --simulate --duration 1 --rate 100K \
    >"$OUT/record.log" 2>&1; then
  TARGET="$OUT/session/demo.qvxa"
else
  echo "recording failed (see $OUT/record.log); using a generated demo report" >&2
  "$BUILD/tools/qvanalog/qvanalog" make-demo-report "$OUT/repo" >/dev/null
  TARGET="$OUT/repo"
fi

EXTRA=()
[ "${THEME:-}" = dark ] && EXTRA+=(--dark)
VIEWER="$BUILD/tools/waveform-viewer/qvx-waveform-viewer"
export QT_QPA_PLATFORM=xcb
xvfb-run -a -s "-screen 0 1400x1000x24" \
  "$VIEWER" "$TARGET" --scale "$SCALE" --size 1280x900 --markers --cursor 700,300 \
  --screenshot "$OUT/viewer.png" "${EXTRA[@]}"
# The whole Xvfb screen as well, taken by ImageMagick while the viewer is shown.
xvfb-run -a -s "-screen 0 1400x1000x24" bash -c "
  \"$VIEWER\" \"$TARGET\" --scale $SCALE --size 1280x900 --markers ${EXTRA[*]} &
  pid=\$!; sleep 2; import -window root \"$OUT/screen.png\"; kill \$pid; wait \$pid 2>/dev/null || true"
ls "$OUT"/viewer.png "$OUT"/screen.png
