#!/usr/bin/env bash
# Runs QV+Analog with the simulated unit under Xvfb, starts a trace through the
# family protocol (qvanalog family trace start), and screenshots the whole window
# during the trace and after it has stopped.
#
#   scripts/screenshot-app.sh [OUT_DIR]     (default /tmp/qvplus-app-shot)
#
# Env: BUILD (build folder, default build), TRACE_SECONDS (default 4),
# LOOK (an application look id to store first, e.g. 216 for the black style),
# SCREEN (the screen and window size, default 1400x900),
# UI_LANG (ja or en: the program's --lang; default the locale's language).
# Prints the PNG paths.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
OUT=${1:-/tmp/qvplus-app-shot}
SCREEN=${SCREEN:-1400x900}
TRACE_SECONDS=${TRACE_SECONDS:-4}

if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$BUILD" --target QV+Analog qvanalog --parallel 2 >/dev/null

rm -rf "$OUT"
mkdir -p "$OUT/data" "$OUT/config/OrvalenData"
# A private application data folder, family folder and frame settings: the shot
# never touches the user's own. Without a window manager the window keeps its first-run
# size, so a stored geometry of the screen's size is written first.
export QVPLUS_TEMP_DIR="$OUT/data" QVPLUS_FAMILY_DIR="$OUT/family" XDG_CONFIG_HOME="$OUT/config"
export QVPLUS_SIM_SIGNAL=demo QT_QPA_PLATFORM=xcb
[ -n "${LOOK:-}" ] && printf '[General]\nApplicationLook=%s\n' "$LOOK" >"$OUT/config/OrvalenData/QV+Analog.conf"
APP="$PWD/$BUILD/QV+Analog/QV+Analog"
CLI="$PWD/$BUILD/tools/qvanalog/qvanalog"
# Settings with a repeating display trigger on CH1's rising edge at 1 V (the demo
# signal's 1 kHz sine), so that the display-trigger list fills during the trace.
"$CLI" settings init "$OUT/demo.qvxa" >/dev/null
sed -i -e 's/"displayTriggerMode": 0/"displayTriggerMode": 2/' \
  -e '0,/"voltageLevel": 5000/s//"voltageLevel": 1000/' "$OUT/demo.qvxa"

xvfb-run -a -s "-screen 0 ${SCREEN}x24" bash -c "
  '$APP' --simulate ${UI_LANG:+--lang $UI_LANG} '$OUT/demo.qvxa' >'$OUT/app.log' 2>&1 &
  app=\$!
  sleep 4
  '$CLI' family trace start >>'$OUT/family.log' 2>&1
  sleep $TRACE_SECONDS
  import -window root '$OUT/during-trace.png'
  '$CLI' family trace stop >>'$OUT/family.log' 2>&1
  sleep 4
  import -window root '$OUT/after-trace.png'
  kill \$app; wait \$app || true
"
echo "$OUT/during-trace.png"
echo "$OUT/after-trace.png"
