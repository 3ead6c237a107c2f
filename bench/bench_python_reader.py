#!/usr/bin/env python3
"""Benchmark of the Python reader (python/qvanalog) on a generated report.

Writes a report of QVX_BENCH_GIB GiB (default 16: 32 full files of 2^25 records, record i
with time stamp 10 i (10 MS/s) and the simulated unit's counter samples) straight into a
temp folder (or
$QVX_BENCH_DIR), then times, with the page cache state stated for each figure:

- opening it (the time to the Dataset), in this process and in a new python3 process
  (imports included), with the files' pages dropped from the cache and cached;
- the mean of CH1 over all records, raw codes and volts, next to `cat` of the files
  (page cache warm, the same bytes);
- with the built qvanalog ($QVANALOG or build/tools/qvanalog/qvanalog): its overviews,
  then qvanalog.envelope over the whole report in 1920 columns (first call in a process
  and again).

The folder is deleted at the end, also when a step fails. Only this benchmark's own files
are dropped from the page cache (posix_fadvise), never the machine's. Figures only: it
never fails on a time.

    PYTHONPATH=python /usr/bin/python3 bench/bench_python_reader.py
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "python"))

import qvanalog  # noqa: E402
from qvanalog import _format as F  # noqa: E402

CHUNK_RECORDS = 1 << 22  # 64 MiB written at a time


def header():
    h = bytearray(F.HEADER_SIZE)
    h[:16] = F.MAGIC
    h[24:28] = (1).to_bytes(4, "little")
    h[28:32] = (1040).to_bytes(4, "little")
    h[32:36] = (6).to_bytes(4, "little")
    h[36:40] = (3).to_bytes(4, "little")
    h[40:48] = (8).to_bytes(8, "little")
    h[48:56] = int(time.time()).to_bytes(8, "little")
    return bytes(h)


def counter_chunk(first, count, out):
    i = np.arange(first, first + count, dtype=np.uint64)
    rec = out[:count]
    rec["stamp"] = i * np.uint64(10)
    rec["ch1"] = i & np.uint64(16383)
    rec["ch2"] = (i >> np.uint64(14)) & np.uint64(16383)
    rec["ch3"] = (i * np.uint64(7)) & np.uint64(16383)
    rec["ch4"] = np.uint64(16383) - (i & np.uint64(16383))
    return rec


def generate(folder, files):
    buffer = np.zeros(CHUNK_RECORDS, dtype=F.RECORD_DTYPE)
    for n in range(files):
        path = os.path.join(folder, f"{n:08d}.DAT")
        fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
        try:
            os.write(fd, header())
            for first in range(0, F.RECORDS_PER_FILE, CHUNK_RECORDS):
                data = memoryview(counter_chunk(n * F.RECORDS_PER_FILE + first, CHUNK_RECORDS, buffer)).cast("B")
                while data:
                    data = data[os.write(fd, data):]
        finally:
            os.close(fd)
        print(f"\rgenerating {n + 1}/{files} files", end="", file=sys.stderr, flush=True)
    print(file=sys.stderr)


def data_files(folder):
    return sorted(os.path.join(folder, n) for n in os.listdir(folder) if n.endswith(".DAT"))


def drop_from_cache(folder):
    """Drops this report's own pages from the page cache (written back first)."""
    for path in data_files(folder):
        fd = os.open(path, os.O_RDONLY)
        try:
            os.fdatasync(fd)
            os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
        finally:
            os.close(fd)


def cached_fraction(folder, count=None):
    """Share of the report's pages (of its first `count` files) in the page cache, by
    `fincore` of util-linux (mincore is not in the standard library)."""
    try:
        out = subprocess.run(["fincore", "--bytes", "--noheadings", "--output", "RES,SIZE", *data_files(folder)[:count]],
                             capture_output=True, text=True, check=True).stdout.split()
    except (OSError, subprocess.CalledProcessError):
        return None
    res = sum(int(v) for v in out[0::2])
    size = sum(int(v) for v in out[1::2])
    return res / size if size else None


def timed(label, fn, repeat=1):
    best = None
    for _ in range(repeat):
        t = time.perf_counter()
        value = fn()
        elapsed = time.perf_counter() - t
        best = elapsed if best is None else min(best, elapsed)
    return best, value


def report_line(label, seconds, nbytes=None, state=""):
    speed = f"  {nbytes / seconds / 1e9:6.2f} GB/s" if nbytes else ""
    print(f"{label:<52} {seconds:8.3f} s{speed}   [{state}]")


def cached(folder, count=None):
    fraction = cached_fraction(folder, count)
    return "cache state unknown" if fraction is None else f"{fraction:.0%} of the files cached"


def cat(folder, count=None):
    subprocess.run(["cat", *data_files(folder)[:count]], stdout=subprocess.DEVNULL, check=True)


def open_in_new_process(folder):
    code = ("import time; t = time.perf_counter(); import qvanalog; ds = qvanalog.open(%r); "
            "print(time.perf_counter() - t)") % folder
    env = dict(os.environ, PYTHONPATH=os.path.join(ROOT, "python"))
    return float(subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=env, check=True).stdout)


def main():
    gib = float(os.environ.get("QVX_BENCH_GIB", "16"))
    files = max(1, int(round(gib * (1 << 30) / (F.RECORDS_PER_FILE * F.RECORD_SIZE))))
    total_bytes = files * (F.HEADER_SIZE + F.RECORDS_PER_FILE * F.RECORD_SIZE)
    base = os.environ.get("QVX_BENCH_DIR") or tempfile.gettempdir()
    free = shutil.disk_usage(base).free
    if free < total_bytes + (8 << 30):
        print(f"not enough free space in {base}: {free / 2**30:.1f} GiB for {total_bytes / 2**30:.1f} GiB", file=sys.stderr)
        return 1
    with open("/proc/meminfo") as f:
        available = int(next(line for line in f if line.startswith("MemAvailable")).split()[1]) * 1024
    print(f"report: {files} files, {total_bytes / 2**30:.2f} GiB; memory available {available / 2**30:.1f} GiB; "
          f"{os.cpu_count()} cores; numpy {np.__version__}")
    if available < total_bytes * 1.1:
        print("note: less memory than the report: 'warm' figures cannot have the whole report cached")
    work = tempfile.mkdtemp(prefix="qvx-python-bench-", dir=base)
    try:
        folder = os.path.join(work, "repo")
        os.mkdir(folder)
        t, _ = timed("generate", lambda: generate(folder, files))
        report_line("generating the report (written by this script)", t, total_bytes, "writes")

        drop_from_cache(folder)
        t, ds = timed("open", lambda: qvanalog.open(folder))
        report_line("qvanalog.open, data files dropped from the cache", t, state="cold: " + cached(folder))
        t, ds = timed("open", lambda: qvanalog.open(folder), repeat=5)
        report_line("qvanalog.open, again (best of 5)", t, state="headers cached")
        t = min(open_in_new_process(folder) for _ in range(3))
        report_line("new python3: import qvanalog + open (best of 3)", t, state="headers cached")
        print(f"   dataset: {ds.sizes['record']} records, {len(ds.ch1.chunks[0])} chunks per variable")

        t, _ = timed("cat", lambda: cat(folder))
        report_line("cat of the files (first)", t, total_bytes, cached(folder) + " after")
        t_cat, _ = timed("cat", lambda: cat(folder), repeat=2)
        report_line("cat of the files (best of 2)", t_cat, total_bytes, cached(folder) + " after")

        raw = qvanalog.open(folder, decode=False)
        t_raw, mean_raw = timed("mean", lambda: float(raw.ch1.mean().compute()), repeat=2)
        report_line("mean of CH1, raw codes (best of 2)", t_raw, total_bytes, cached(folder) + " after")
        t_volts, mean_volts = timed("mean", lambda: float(ds.ch1.mean(skipna=False).compute()), repeat=2)
        report_line("mean of CH1, volts, mean(skipna=False) (best of 2)", t_volts, total_bytes, cached(folder) + " after")
        t_nan, _ = timed("mean", lambda: float(ds.ch1.mean().compute()), repeat=1)
        report_line("mean of CH1, volts, mean() skipping NaN", t_nan, total_bytes, cached(folder) + " after")
        print(f"   means: {mean_raw:.6f} codes, {mean_volts:.9f} V; against cat: raw {t_cat / t_raw:.2f}x, "
              f"volts {t_cat / t_volts:.2f}x, volts with NaN skipping {t_cat / t_nan:.2f}x of cat's speed")

        # The same on the first files alone, small enough to stay wholly in the page cache of a
        # shared machine.
        k = min(files, 4)
        part = slice(0, k * F.RECORDS_PER_FILE)
        part_bytes = k * (F.HEADER_SIZE + F.RECORDS_PER_FILE * F.RECORD_SIZE)
        cat(folder, k)
        t_cat_k, _ = timed("cat", lambda: cat(folder, k), repeat=3)
        report_line(f"cat of the first {k} files (best of 3)", t_cat_k, part_bytes, cached(folder, k) + " after")
        t_raw_k, _ = timed("mean", lambda: float(raw.ch1[part].mean().compute()), repeat=3)
        report_line(f"mean of CH1 over them, raw codes (best of 3)", t_raw_k, part_bytes, cached(folder, k) + " after")
        t_volts_k, _ = timed("mean", lambda: float(ds.ch1[part].mean(skipna=False).compute()), repeat=3)
        report_line(f"mean of CH1 over them, volts, skipna=False (best of 3)", t_volts_k, part_bytes, cached(folder, k) + " after")
        print(f"   against cat: raw {t_cat_k / t_raw_k:.2f}x, volts {t_cat_k / t_volts_k:.2f}x of cat's speed")

        tool = os.environ.get("QVANALOG") or os.path.join(ROOT, "build", "tools", "qvanalog", "qvanalog")
        if os.access(tool, os.X_OK):
            end = int(ds.time[-1]) + 1
            t, _ = timed("index", lambda: subprocess.run([tool, "envelope", folder, "--from", "0", "--to", str(end),
                                                          "--columns", "1920", "--json"], stdout=subprocess.DEVNULL,
                                                         stderr=subprocess.DEVNULL, check=True))
            report_line("qvanalog envelope (C++, builds the overviews first)", t, total_bytes, cached(folder) + " after")
            t, _ = timed("envelope", lambda: subprocess.run([tool, "envelope", folder, "--from", "0", "--to", str(end),
                                                             "--columns", "1920", "--json"], stdout=subprocess.DEVNULL,
                                                            check=True))
            report_line("qvanalog envelope (C++, overviews present)", t, state=cached(folder))
            code = ("import time, qvanalog; t = time.perf_counter(); qvanalog.envelope(%r, 0, %d, 1920); "
                    "a = time.perf_counter() - t; t = time.perf_counter(); qvanalog.envelope(%r, 0, %d, 1920); "
                    "print(a, time.perf_counter() - t)") % (folder, end, folder, end)
            env = dict(os.environ, PYTHONPATH=os.path.join(ROOT, "python"))
            first, again = map(float, subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                                                     env=env, check=True).stdout.split())
            report_line("qvanalog.envelope, 1920 columns, first call", first, state=cached(folder) + "; overviews checked")
            report_line("qvanalog.envelope, 1920 columns, again", again, state=cached(folder))
        else:
            print(f"(no {tool}: envelope figures left out)")
    finally:
        shutil.rmtree(work, ignore_errors=True)
        print(f"deleted {work}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
