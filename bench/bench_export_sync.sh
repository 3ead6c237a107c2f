#!/usr/bin/env bash
# Times the command line's exports until the file is on the disk (sync), next to cp + sync of
# the same number of bytes, on a recording of the simulated unit made for it. Reports
# figures only; never fails on them.
#
#   bench/bench_export_sync.sh [RECORDS_MIB] [RUNS]    # default 160 MiB (10,485,760 records), 3 runs
#
# The recording and the exports go to $QVX_BENCH_DIR (default: a folder under /tmp), which is
# removed at the end. The page cache is warm for the recording: it was just written.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
QVANALOG="${QVANALOG:-$ROOT/build/tools/qvanalog/qvanalog}"
MIB="${1:-160}"
RUNS="${2:-3}"
WORK="$(mktemp -d "${QVX_BENCH_DIR:-/tmp}/qvx-export-sync.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT

QVPLUS_SIM_SPEED=max "$QVANALOG" record --simulate --rate 10M --size "$MIB" --out "$WORK/s.qvxa" >/dev/null
sync  # the recording is on the disk before the first timing
RECORDS=$((MIB * 1048576 / 16))
echo "recording: $RECORDS records, load $(cut -d' ' -f1-3 /proc/loadavg)"

seconds() { date +%s.%N; }
elapsed() { echo "$2 - $1" | bc; }

# One timed run of "$@" followed by sync; prints the seconds.
timed_with_sync() {
    sync
    local start end
    start=$(seconds)
    "$@" >/dev/null 2>&1
    sync
    end=$(seconds)
    elapsed "$start" "$end"
}

report() {  # NAME OUT EXPORT-ARGS...
    local name=$1 out=$2
    shift 2
    for ((run = 1; run <= RUNS; run++)); do
        rm -f "$WORK/$out" "$WORK/copy"
        local t c bytes
        t=$(timed_with_sync "$QVANALOG" export "$WORK/s.qvxa" --out "$WORK/$out" "$@")
        bytes=$(stat -c %s "$WORK/$out")
        c=$(timed_with_sync cp "$WORK/$out" "$WORK/copy")
        printf '%-14s run %d: %6.3f s  %6.1f M records/s  %5d MB  cp+sync %6.3f s  cp/export %.2f\n' \
            "$name" "$run" "$t" "$(echo "$RECORDS / $t / 1000000" | bc -l)" $((bytes / 1000000)) "$c" \
            "$(echo "$c / $t" | bc -l)"
    done
}

report "CSV" out.csv
report "HDF5 deflate 1" out1.h5 --format hdf5 --deflate 1
report "HDF5 stored" out0.h5 --format hdf5 --deflate 0
