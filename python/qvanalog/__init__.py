"""Read QV+Analog recordings straight from their files: NumPy, xarray and Dask, no export.

    import qvanalog
    ds = qvanalog.open("rec/first.qvxa")          # or a report folder ("rec/repo")
    ds.ch1.isel(record=slice(0, 1_000_000)).mean().compute()   # volts

- `open(path, decode=True, chunk_records=None)`: the recording as a lazy xarray.Dataset:
  `ch1`..`ch4` (dimension `record`) as Dask arrays over read-only memory maps of the
  ".DAT" files, coordinates `time` (int64 ns since the start) and `index` (the global
  record index). The raw codes (limited to 16383) carry CF `scale_factor` / `add_offset`;
  with `decode=True` they are volts, decoded lazily.
- `envelope(path, start_ns, stop_ns, columns)`: per-column minimum and maximum of each
  channel, exact to the record, from the overview files where they are valid, as
  `qvanalog envelope --json` gives them.
- `hits(path)`: the display-trigger hits saved with the recording; `markers(path)`: M1, M2;
  `bookmarks(path)`: the named bookmarks saved with the recording.
- `time_span(ds, start_ns, stop_ns)`: the `record` slice of the records with
  start_ns <= time < stop_ns.

Nothing is ever written. Files that are not a readable recording raise `ReportError`,
whose message names the file and the problem.
"""

import os

import numpy as np

from . import _dataset, _format, _session, _settings
from ._envelope import envelope
from ._errors import ReportError

__version__ = "1.0.0"
__all__ = ["open", "envelope", "hits", "markers", "bookmarks", "time_span", "ReportError", "HIT_DTYPE", "__version__"]

HIT_DTYPE = np.dtype([("index", "<i8"), ("time", "<i8"), ("width", "<i8")])


def open(path, decode=True, chunk_records=None):  # noqa: A001 (the module's verb, as gzip.open)
    """The recording at `path` (a session file ".qvxa" or a report folder) as a lazy Dataset.

    chunk_records: records per Dask chunk (default 2^22); chunks never cross a file.
    decode: volts through the CF attributes (lazily); False keeps the raw codes.
    """
    recording = _session.open_recording(path)
    return _dataset.build_dataset(recording, chunk_records, decode=bool(decode))


def hits(path):
    """The display-trigger hits saved with the recording ("meta" in the report folder).

    A structured array (HIT_DTYPE) in the order found: `index` (global record index),
    `time` (ns since the start, the record's time stamp x 10; -1 when the record is no
    longer stored) and `width` (ns of a pulse-width hit, 0 for an edge hit). Empty when
    the recording has no "meta".
    """
    recording = _session.open_recording(path)
    meta = recording.metadata_path
    if not os.path.exists(meta):
        return np.zeros(0, dtype=HIT_DTYPE)
    pairs = _settings.load_hits(meta)
    out = np.zeros(len(pairs), dtype=HIT_DTYPE)
    if not pairs:
        return out
    out["index"] = [p[0] for p in pairs]
    out["width"] = [p[1] for p in pairs]
    out["time"] = -1
    for f in recording.report.stored_files:
        sel = np.nonzero((out["index"] >= f.first_index) & (out["index"] < f.end_index))[0]
        if sel.size:
            stamps = f.records()["stamp"][out["index"][sel] - f.first_index]
            out["time"][sel] = (stamps & np.uint64(_format.TIME_MASK)).astype(np.int64) * _format.NS_PER_TICK
    return out


def markers(path):
    """M1 and M2 of the session's settings: {"M1": {"enabled": bool, "time": ns}, "M2": ...}.

    A bare report folder has the defaults (both off at 0 ns). The report data is not opened.
    """
    settings, _, _ = _session.load_settings_only(path)
    return {f"M{i + 1}": {"enabled": m.enabled, "time": m.time} for i, m in enumerate(settings.markers)}


def bookmarks(path):
    """The bookmarks saved with the recording ("meta" in the report folder), in the order added.

    A list of dicts as `qvanalog bookmarks --json` prints them: `id`, `timeNSec` (ns since
    the start), `name`, `note`, `color` ("#AARRGGBB"; alpha 00: the program's default
    colour) and `visible`. Empty when the recording has no "meta" or none. An entry that
    does not load in the program is left out here too, with a warning naming it. The
    report data is not opened.
    """
    _, _, folder = _session.load_settings_only(path)
    meta = os.path.join(folder, _session.METADATA_FILE_NAME)
    if not os.path.exists(meta):
        return []
    return _settings.load_bookmarks(meta)


def time_span(ds, start_ns, stop_ns):
    """slice(i, j) of dimension `record`: the records with start_ns <= time < stop_ns.

    `ds` is a Dataset as `open` returned it. The times never decrease, so the search
    reads only about 25 time stamps per end (a bisection over the mapped files).
    """
    from ._envelope import _lower_bounds, ticks_at_or_after
    from ._report import open_report

    if start_ns > stop_ns:
        raise ValueError(f"start_ns must not be greater than stop_ns (got {start_ns} and {stop_ns})")
    report = open_report(ds.attrs["report_folder"])
    files = report.stored_files
    size = ds.sizes["record"]
    if not files:
        return slice(0, 0)
    ticks = np.array([ticks_at_or_after(int(start_ns)), ticks_at_or_after(int(stop_ns))], dtype=np.uint64)
    positions = []
    for g in _lower_bounds(report, files, ticks).tolist():
        before = sum(f.record_count for f in files if f.end_index <= g)
        inside = sum(g - f.first_index for f in files if f.first_index <= g < f.end_index)
        positions.append(min(before + inside, size))
    return slice(*positions)
