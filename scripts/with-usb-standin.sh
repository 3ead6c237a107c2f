#!/usr/bin/env bash
# with-usb-standin.sh COMMAND [ARG...]
#
# Runs COMMAND with the tests' stand-in libusb-1.0.so.0 in front of the system's libusb, so that
# the device library's libusb backend finds simulated units as USB devices:
#   QVPLUS_STANDIN_UNITS   serial numbers of the units (syntax of QVPLUS_SIMULATED_UNITS, which
#                          must stay unset); QVPLUS_SIM_SIGNAL, _SPEED and _FAULTS as for them.
#   QVPLUS_STANDIN_DIR     folder of the stand-in (default: build/usb-standin of this tree;
#                          build it with `cmake --build build --target usb_standin`).
# The stand-in reports on stderr how the program used it (handles not closed, device references
# or interfaces not released, transfers still pending, calls libusb forbids). The exit status is
# the command's, or 1 when the command succeeded but the stand-in reported a problem.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
STANDIN_DIR="${QVPLUS_STANDIN_DIR:-$ROOT/build/usb-standin}"

if (($# == 0)); then
  sed -n '2,13p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2
  exit 2
fi
if [[ ! -e "$STANDIN_DIR/libusb-1.0.so.0" ]]; then
  echo "with-usb-standin: $STANDIN_DIR/libusb-1.0.so.0 is missing (cmake --build build --target usb_standin)" >&2
  exit 2
fi
if [[ -n "${QVPLUS_SIMULATED_UNITS:-}" ]]; then
  echo "with-usb-standin: unset QVPLUS_SIMULATED_UNITS; the stand-in's units come from QVPLUS_STANDIN_UNITS" >&2
  exit 2
fi

report="$(mktemp "${TMPDIR:-/tmp}/usb-standin-report.XXXXXX")"
trap 'rm -f "$report"' EXIT

export LD_LIBRARY_PATH="$STANDIN_DIR${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
export QVPLUS_STANDIN_REPORT="$report"
# Libusb is the only source of units, also for programs that list simulated units themselves.
export QVPLUS_USB_BACKEND=libusb

status=0
"$@" || status=$?
if [[ -s "$report" ]]; then
  echo "with-usb-standin: the stand-in libusb reported how it was misused:" >&2
  cat "$report" >&2
  if ((status == 0)); then status=1; fi
fi
exit "$status"
