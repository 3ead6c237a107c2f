#!/usr/bin/env bash
# record-through-standin.sh QVANALOG COUNTER_CHECK
#
# `qvanalog devices` and `qvanalog record` of the simulated unit's counter pattern through the
# stand-in libusb:
# - two units are listed with their serial numbers;
# - at 10M without a fault, every record of the saved session is unchanged;
# - a bulk transfer that times out or stalls, an unplugged unit and a short transfer (1.5 s into
#   the recording, after the library's first large reads) end the recording with the program's
#   message and exit 1, and the records taken in before the fault are saved unchanged;
# - a unit whose open is refused for want of permission is listed as one that cannot be opened,
#   and `record` says so and points to the udev rule instead of reporting no unit; a busy
#   interface leaves a listed unit that cannot be connected.
set -euo pipefail

QVANALOG="$1"
CHECK="$2"
RUN="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)/scripts/with-usb-standin.sh"
CONNECTION_ERROR="NAVO+との接続でエラーが発生しました。テストレポート収集を中止し、NAVO+との接続を解除します。"

work="$(mktemp -d "${TMPDIR:-/tmp}/record-through-standin.XXXXXX")"
trap 'rm -rf "$work"' EXIT
export QVPLUS_TEMP_DIR="$work/app"
export QVPLUS_STANDIN_UNITS=AN0001
export QVPLUS_SIM_SIGNAL=counter
export QVPLUS_SIM_SPEED=
mkdir -p "$QVPLUS_TEMP_DIR"

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# record NAME FAULTS RATE SECONDS: records into $work/NAME/NAME.qvxa; sets $status.
record() {
  mkdir -p "$work/$1"
  status=0
  QVPLUS_SIM_FAULTS="$2" "$RUN" "$QVANALOG" record --out "$work/$1/$1.qvxa" --rate "$3" --duration "$4" \
    --json >"$work/$1.out" 2>"$work/$1.err" || status=$?
}

# check_records NAME RATE: every saved record follows the counter pattern and their number is
# the one the program reported.
check_records() {
  local checked reported
  if ! checked="$("$CHECK" "$work/$1/repo" "$2")"; then
    fail "$1: the saved records differ from the counter pattern"
    return
  fi
  reported="$(sed -n 's/.*"records": *\([0-9]*\).*/\1/p' "$work/$1.out")"
  if [[ "$checked" != "records $reported" ]]; then fail "$1: $checked saved, the program reported $reported"; fi
  if [[ "$checked" == "records 0" ]]; then fail "$1: nothing was recorded"; fi
  echo "$1: $checked"
}

listed="$(QVPLUS_STANDIN_UNITS=AN0001,AN0002 "$RUN" "$QVANALOG" devices --json)" || fail "devices: exit status $?"
if [[ "$listed" != '{"devices":[{"id":"AN0001","index":0,"state":"ok"},{"id":"AN0002","index":1,"state":"ok"}]}' ]]; then
  fail "devices: $listed"
fi

record clean "" 10M 2
if ((status != 0)); then fail "clean: exit status $status: $(cat "$work/clean.err")"; fi
check_records clean 10485760

for fault in bulk-timeout bulk-pipe unplug short-read; do
  record "$fault" "$fault@1.5" 1M 3
  if ((status != 1)); then fail "$fault: exit status $status, expected 1"; fi
  if ! grep -qF "$CONNECTION_ERROR" "$work/$fault.err"; then
    fail "$fault: no connection error message: $(cat "$work/$fault.err")"
  fi
  check_records "$fault" 1048576
done

# expect_refused NAME MESSAGE: the recording was refused with MESSAGE on stderr.
expect_refused() {
  if ((status != 1)); then fail "$1: exit status $status, expected 1"; fi
  if ! grep -qF "$2" "$work/$1.err"; then fail "$1: no '$2': $(cat "$work/$1.err")"; fi
  echo "$1: $2"
}

# Without permission the unit's serial number cannot be read: it is listed as a unit that cannot
# be opened, and recording from it, named or not, says so and points to the udev rule. A unit
# whose interface another program holds is listed, but connecting it fails.
listed="$(QVPLUS_SIM_FAULTS=open-access "$RUN" "$QVANALOG" devices --json 2>"$work/devices-access.err")" ||
  fail "devices without access: exit status $?"
if [[ "$listed" != '{"devices":[{"id":null,"index":0,"state":"cannot be opened"}]}' ]]; then
  fail "devices without access: $listed"
fi
if ! grep -qF "udev rule" "$work/devices-access.err"; then fail "devices without access: no hint to the udev rule"; fi
record open-access open-access 1M 1
expect_refused open-access "1 unit(s) found, but none can be opened: the user may lack the permission"
expect_refused open-access "install the udev rule"
mkdir -p "$work/open-access-named"
status=0
QVPLUS_SIM_FAULTS=open-access "$RUN" "$QVANALOG" record --out "$work/open-access-named/s.qvxa" --device AN0002 \
  --duration 1 >"$work/open-access-named.out" 2>"$work/open-access-named.err" || status=$?
expect_refused open-access-named "no analog unit with the serial number AN0002; 1 unit(s) found cannot be opened"
record claim-busy claim-busy 1M 1
expect_refused claim-busy "NAVO+に接続できません"

exit $((failures > 0))
