"""Reads an HDF5 export with h5py and checks it against the data list's CSV export of the
same rows: row numbers from first_record_index, times in ns, and each channel in volts
(code x scale_factor + add_offset) against the value text, which is that value rounded
down to the text's decimals. Exit status 0 when every value matches, 1 otherwise.

    /usr/bin/python3 check_hdf5_volts.py EXPORT.h5 EXPORT.csv
"""
import csv
import math
import sys

import h5py


def text_to_volts(text):
    """'250.0mV' -> (0.25, step 0.0001); '-1.250V' -> (-1.25, 0.001)."""
    milli = text.endswith("mV")
    number = text[:-2] if milli else text[:-1]
    decimals = len(number.split(".")[1]) if "." in number else 0
    factor = 1e-3 if milli else 1.0
    return float(number) * factor, 10.0 ** -decimals * factor


def main(h5_path, csv_path):
    with open(csv_path, newline="", encoding="utf-8") as f:
        rows = list(csv.reader(f))[1:]
    with h5py.File(h5_path, "r") as f:
        first = int(f.attrs["first_record_index"])
        times = f["time_ns"][:]
        channels = []
        for name in ("ch1", "ch2", "ch3", "ch4"):
            ds = f[name]
            assert ds.attrs["units"] == "V", ds.attrs["units"]
            channels.append(ds[:] * ds.attrs["scale_factor"] + ds.attrs["add_offset"])
    if len(rows) != len(times):
        print(f"{len(rows)} CSV rows, {len(times)} HDF5 records")
        return 1
    for i, row in enumerate(rows):
        if int(row[0]) != first + i + 1 or int(row[1].replace(",", "")) != int(times[i]):
            print(f"row {i}: {row[:2]} against record {first + i}, {times[i]} ns")
            return 1
        for c in range(4):
            shown, step = text_to_volts(row[2 + c])
            volts = float(channels[c][i])
            if not (shown <= volts + 1e-9 and volts - shown < step + 1e-9):
                print(f"row {i} CH{c + 1}: {volts} V shown as {row[2 + c]}")
                return 1
    print(f"{len(rows)} records match")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
