#!/bin/sh
# Draws the four slope button images of the display trigger dialog (32 x 24 PNGs,
# transparent background): rising edge, falling edge, high pulse, low pulse.
# Usage: scripts/make-slope-images.sh [output folder]
set -eu
out=${1:-"$(dirname "$0")/../QVxWinGUICommon/images"}
draw() {
    convert -size 32x24 xc:none -fill none -stroke '#1f4fbf' -strokewidth 2 \
        -draw "polyline $2" -stroke '#d03030' -strokewidth 1 -draw "$3" \
        -define png:exclude-chunks=date,time "$out/$1.png"
}
# Waveform in blue, the trigger point (or the measured width) in red.
draw 4229 "2,20 16,20 16,4 30,4" "line 12,10 16,6 line 20,10 16,6"
draw 4230 "2,4 16,4 16,20 30,20" "line 12,14 16,18 line 20,14 16,18"
draw 4231 "2,20 9,20 9,4 23,4 23,20 30,20" "line 9,12 23,12"
draw 4232 "2,4 9,4 9,20 23,20 23,4 30,4" "line 9,12 23,12"
