"""The lazy xarray.Dataset of a recording.

Every variable is a Dask array whose chunks follow the ".DAT" files: a chunk never
crosses a file, and holds at most `chunk_records` records. A chunk's task carries only
the file's path and a record range; it maps that range read-only (numpy.memmap) when it
runs, on whichever worker runs it, so a cluster that shares the folder reads the files
in parallel and no data travels with the graph.
"""

import datetime
import os

import dask.array as da
import numpy as np
import xarray as xr
from dask.base import tokenize
from dask.highlevelgraph import HighLevelGraph

from . import _format as F
from ._report import map_records

DEFAULT_CHUNK_RECORDS = 1 << 22
DIM = "record"


def iso_utc(epoch_ns):
    """"2026-01-02T03:04:05.123456789Z" for ns since the epoch (as the HDF5 export writes it)."""
    seconds, nanoseconds = divmod(epoch_ns, 1_000_000_000)
    try:
        t = datetime.datetime(1970, 1, 1) + datetime.timedelta(seconds=seconds)
    except OverflowError:
        return f"{epoch_ns} ns since 1970-01-01T00:00:00Z"
    return f"{t.year:04}-{t.month:02}-{t.day:02}T{t.hour:02}:{t.minute:02}:{t.second:02}.{nanoseconds:09}Z"


# --- chunk tasks (run on the workers) ------------------------------------------------------


def load_time(path, first, count):
    """ns since the start (time stamp x 10) of records [first, first + count) of a file."""
    stamps = map_records(path, first, count)["stamp"]
    out = np.bitwise_and(stamps, np.uint64(F.TIME_MASK)).view(np.int64)
    out *= F.NS_PER_TICK
    return out


def load_codes(path, first, count, channel):
    """Raw codes of one channel, limited to 16383 as decoding does."""
    return np.minimum(map_records(path, first, count)[channel], np.uint16(F.SAMPLE_MAX))


_BLOCK_RECORDS = 1 << 16  # volts are made in blocks that stay in the processor's cache


def load_volts(path, first, count, channel, scale_factor, add_offset):
    """Volts of one channel: min(code, 16383) x scale_factor + add_offset in float64, the
    CF decoding (the same two roundings), made block by block in one pass over the file."""
    codes = map_records(path, first, count)[channel]
    out = np.empty(count, dtype=np.float64)
    limited = np.empty(min(count, _BLOCK_RECORDS), dtype=np.uint16)
    for a in range(0, count, _BLOCK_RECORDS):
        b = min(a + _BLOCK_RECORDS, count)
        block, part = limited[: b - a], out[a:b]
        np.minimum(codes[a:b], np.uint16(F.SAMPLE_MAX), out=block)
        np.copyto(part, block)  # exact: every code is a float64
        part *= scale_factor
        part += add_offset
    return out


def make_index(first_index, count):
    return np.arange(first_index, first_index + count, dtype=np.int64)


# --- graph ---------------------------------------------------------------------------------


def chunk_plan(report, chunk_records):
    """[(file, first record in file, count)] covering every stored record in order."""
    plan = []
    for f in report.stored_files:
        for first in range(0, f.record_count, chunk_records):
            plan.append((f, first, min(chunk_records, f.record_count - first)))
    return plan


def _array(name, plan, dtype, task):
    if not plan:
        return da.zeros((0,), dtype=dtype, chunks=((0,),))
    layer = {(name, i): task(f, first, count) for i, (f, first, count) in enumerate(plan)}
    graph = HighLevelGraph.from_collections(name, layer, dependencies=())
    chunks = (tuple(count for _, _, count in plan),)
    return da.Array(graph, name, chunks, dtype=dtype, meta=np.empty((0,), dtype=dtype))


def build_dataset(recording, chunk_records=None, decode=True):
    """The Dataset of a Recording: volts (decode) or the raw codes with their CF attributes.

    Decoded, it is what xarray's CF decoding makes of the codes (scale_factor, add_offset
    and the stored dtype move to the encoding), computed in one pass per chunk."""
    if chunk_records is None:
        chunk_records = DEFAULT_CHUNK_RECORDS
    if isinstance(chunk_records, bool) or not isinstance(chunk_records, (int, np.integer)) or chunk_records < 1:
        raise ValueError(f"chunk_records must be a positive whole number of records, not {chunk_records!r}")
    chunk_records = int(chunk_records)
    report, settings = recording.report, recording.settings
    plan = chunk_plan(report, chunk_records)
    token = tokenize([(f.path, f.size, f.mtime_ns) for f in report.stored_files], chunk_records)

    def name(field):
        return f"qvanalog-{field}-{token}"

    time = _array(name("time"), plan, np.int64, lambda f, a, n: (load_time, f.path, a, n))
    index = _array(name("index"), plan, np.int64, lambda f, a, n: (make_index, f.first_index + a, n))
    chunks = time.chunks[0]
    encoding = {"preferred_chunks": {DIM: chunks}}
    decoded = {"dtype": np.dtype(np.int64)} if decode else {}

    data_vars = {}
    attrs = _dataset_attrs(recording, len(time))
    for c, channel in enumerate(F.CHANNELS):
        scale_factor, add_offset = settings.scale(c)
        track = settings.track(c)
        channel_attrs = {
            "units": "V",
            "long_name": track.name,
            "range_mV": settings.range_mv(c),
            "range_index": settings.channel_voltages[c],
            "probe_factor": 1 if track.probe_index == 0 else 10,
            "enabled": 1 if track.enabled else 0,
            "valid_max": F.SAMPLE_MAX,
        }
        cf = {"scale_factor": scale_factor, "add_offset": add_offset}
        if decode:
            data = _array(name(channel + "-volts"), plan, np.float64,
                          lambda f, a, n, ch=channel: (load_volts, f.path, a, n, ch, scale_factor, add_offset))
            variable = xr.Variable((DIM,), data, channel_attrs, encoding=dict(encoding, **cf, dtype=np.dtype(np.uint16)))
        else:
            data = _array(name(channel), plan, np.uint16, lambda f, a, n, ch=channel: (load_codes, f.path, a, n, ch))
            variable = xr.Variable((DIM,), data, {**channel_attrs, **cf}, encoding=dict(encoding))
        data_vars[channel] = variable
        for key in ("range_mV", "range_index", "probe_factor", "enabled"):
            attrs[f"{channel}_{key}"] = channel_attrs[key]
    coords = {
        "time": xr.Variable((DIM,), time, {"units": "ns", "long_name": "time since the trace start"},
                            encoding=dict(encoding, **decoded)),
        "index": xr.Variable((DIM,), index, {"long_name": "global record index (the data list's row number - 1)"},
                             encoding=dict(encoding, **decoded)),
    }
    return xr.Dataset(data_vars, coords=coords, attrs=attrs)


def _dataset_attrs(recording, record_count):
    report, settings = recording.report, recording.settings
    start_ns = report.start_time_ns
    return {
        "start_time": iso_utc(start_ns),
        "start_time_ns": start_ns,
        "sampling_frequency": settings.sampling_frequency,
        "first_record_index": report.first_index,
        "record_count": record_count,
        "source_session": recording.source,
        "report_folder": os.path.normpath(os.path.abspath(report.folder)),
    }
