"""qvanalog.open on recordings made by `qvanalog record`: every code and time against the
counter pattern, the volts and attributes against the program's HDF5 export, the volts
against the display texts of `qvanalog read`, and the xarray engine."""

import importlib.metadata
import os

import dask.array as da
import h5py
import numpy as np
import pytest
import xarray as xr

import qvanalog
from conftest import RECORDS_PER_FILE, snapshot
from qvanalog import _format as F

CHANNELS = ("ch1", "ch2", "ch3", "ch4")


def expected_columns(first, count, rate, chunks):
    """The counter pattern of records first..first+count-1 as lazy columns with `chunks`."""
    i = da.arange(first, first + count, chunks=chunks, dtype=np.uint64)
    return {
        "time": (i * np.uint64(100_000_000) // np.uint64(rate)).astype(np.int64) * 10,
        "index": i.astype(np.int64),
        "ch1": (i & np.uint64(16383)).astype(np.uint16),
        "ch2": ((i >> np.uint64(14)) & np.uint64(16383)).astype(np.uint16),
        "ch3": ((i * np.uint64(7)) & np.uint64(16383)).astype(np.uint16),
        "ch4": (np.uint64(16383) - (i & np.uint64(16383))).astype(np.uint16),
    }


@pytest.mark.parametrize("which", ["plain", "rotated"])
def test_every_code_and_time_is_the_counter_pattern(which, request):
    made = request.getfixturevalue(which)
    ds = qvanalog.open(made.session, decode=False)
    first = made.first_index
    count = made.records - first
    assert ds.sizes["record"] == count
    assert ds.attrs["first_record_index"] == first
    assert ds.attrs["record_count"] == count
    expected = expected_columns(first, count, made.rate, ds.ch1.chunks[0])
    checks = [da.all(ds[name].data == expected[name]) for name in expected]
    assert all(da.compute(*checks))
    for name in CHANNELS:
        assert ds[name].dtype == np.uint16


def test_chunks_follow_the_files(rotated):
    ds = qvanalog.open(rotated.session)
    # File 1 is full (8 chunks of 2^22), file 2 holds 65,536 records.
    assert ds.ch1.chunks[0] == (1 << 22,) * 8 + (65_536,)
    small = qvanalog.open(rotated.session, chunk_records=10_000_000)
    assert small.time.chunks[0] == (10_000_000, 10_000_000, 10_000_000, 3_554_432, 65_536)
    for bad in (0, -5, 2.5, "1000", True):
        with pytest.raises(ValueError):
            qvanalog.open(rotated.session, chunk_records=bad)


def text(value):
    return value.decode() if isinstance(value, bytes) else value


@pytest.mark.parametrize("which", ["plain", "rotated"])
def test_volts_and_attributes_equal_the_hdf5_export(which, request):
    made = request.getfixturevalue(which)
    ds = qvanalog.open(made.session)
    raw = qvanalog.open(made.session, decode=False)
    first, count = made.h5_rows
    span = slice(first - made.first_index, first - made.first_index + count)
    with h5py.File(made.h5, "r") as h5:
        for key in ("start_time", "start_time_ns", "sampling_frequency", "first_record_index", "record_count"):
            value = text(h5.attrs[key])
            if key in ("first_record_index", "record_count") and made.h5_rows[1] != ds.sizes["record"]:
                continue  # a range export: its own first row and count
            assert ds.attrs[key] == value, key
        assert ds.attrs["source_session"] == text(h5.attrs["source_session"])
        assert np.array_equal(ds.time[span].values, h5["time_ns"][:])
        for c, name in enumerate(CHANNELS):
            column = h5[name]
            codes = column[:]
            assert np.array_equal(raw[name][span].values, codes)
            for key in ("scale_factor", "add_offset", "range_mV", "range_index", "probe_factor", "enabled", "valid_max"):
                assert raw[name].attrs[key] == column.attrs[key], (name, key)
                if key not in ("scale_factor", "add_offset"):
                    assert ds[name].attrs[key] == column.attrs[key]
            assert ds[name].encoding["scale_factor"] == column.attrs["scale_factor"]
            assert raw[name].attrs["long_name"] == text(column.attrs["long_name"])
            assert raw[name].attrs["units"] == "V"
            volts = codes * column.attrs["scale_factor"] + column.attrs["add_offset"]
            assert ds[name].dtype == np.float64
            assert np.array_equal(ds[name][span].values, volts)
            for key in ("range_mV", "range_index", "probe_factor", "enabled"):
                assert ds.attrs[f"{name}_{key}"] == column.attrs[key]


def test_session_settings_give_the_ranges_probes_and_names(plain):
    ds = qvanalog.open(plain.session, decode=False)
    tracks = plain.settings["visualSettings"]["tracks"]
    assert [ds[c].attrs["range_mV"] for c in CHANNELS] == [100, 10000, 2000, 40000]
    assert [ds[c].attrs["probe_factor"] for c in CHANNELS] == [1, 10, 1, 10]
    assert [ds[c].attrs["enabled"] for c in CHANNELS] == [1, 0, 1, 1]
    assert [ds[c].attrs["long_name"] for c in CHANNELS] == [t["name"] for t in tracks]
    assert ds.ch1.attrs["scale_factor"] == 2 * 0.1 / 16383 and ds.ch1.attrs["add_offset"] == -0.1
    assert ds.attrs["sampling_frequency"] == 1_048_576
    assert ds.attrs["source_session"] == os.path.abspath(plain.session)


def test_volts_match_the_display_texts_of_qvanalog_read(plain, tool):
    ds = qvanalog.open(plain.session)
    units = {"mV": 1000.0, "V": 1.0}
    for index in (0, 1, 8191, 8192, 16383, 100_000, 333_333, plain.records - 1):
        shown = tool.json("read", plain.session, "--index", index)
        assert shown["samples"] == [int(v) for v in qvanalog.open(plain.session, decode=False)[list(CHANNELS)].isel(record=index).to_array().values]
        volts = ds[list(CHANNELS)].isel(record=index).compute()
        for c, text in enumerate(shown["values"]):
            unit = "mV" if text.endswith("mV") else "V"
            number = float(text[: -len(unit)])
            decimals = len(text[: -len(unit)].split(".")[1])
            step = 10.0**-decimals
            value = float(volts[CHANNELS[c]]) * units[unit]
            # The text is the value rounded down to the range's decimals.
            assert number - 1e-9 <= value < number + step + 1e-9, (index, c, text, value)


def test_opening_reads_no_records_and_writes_nothing(plain, workdir):
    before = snapshot(plain.session.parent, workdir / "cache")
    with open("/proc/self/io") as f:
        read_before = int(dict(line.split(": ") for line in f.read().splitlines())["rchar"])
    ds = qvanalog.open(plain.session)
    with open("/proc/self/io") as f:
        read_after = int(dict(line.split(": ") for line in f.read().splitlines())["rchar"])
    # The settings file and one header: a few KiB, not the 8 MiB of records.
    assert read_after - read_before < 64 * 1024
    assert all(isinstance(ds[name].data, da.Array) for name in ("ch1", "ch2", "ch3", "ch4", "time", "index"))
    float(ds.ch3.mean())
    assert snapshot(plain.session.parent, workdir / "cache") == before


def test_volts_are_what_xarrays_cf_decoding_makes_of_the_codes(plain):
    ours = qvanalog.open(plain.session, chunk_records=100_000)
    cf = xr.decode_cf(qvanalog.open(plain.session, decode=False, chunk_records=100_000), decode_times=False)
    xr.testing.assert_identical(ours, cf)
    for name in CHANNELS + ("time", "index"):
        assert ours[name].encoding == cf[name].encoding, name


def test_xarray_engine_gives_the_same_dataset(plain):
    names = [ep.name for ep in importlib.metadata.entry_points(group="xarray.backends")]
    assert "qvanalog" in names
    ours = qvanalog.open(plain.session)
    engine = xr.open_dataset(plain.session, engine="qvanalog", chunks={})
    assert engine.identical(ours)
    assert engine.ch1.chunks == ours.ch1.chunks
    assert isinstance(engine.ch1.data, da.Array)
    raw = xr.open_dataset(plain.session, engine="qvanalog", decode_cf=False, chunk_records=100_000, chunks={})
    assert raw.identical(qvanalog.open(plain.session, decode=False, chunk_records=100_000))
    assert raw.ch1.chunks[0][0] == 100_000
    folder = xr.open_dataset(plain.repo, engine="qvanalog", drop_variables=["ch4"])
    assert "ch4" not in folder and "ch1" in folder
    assert xr.backends.plugins.guess_engine(str(plain.session)) == "qvanalog"


def test_time_span_selects_by_time(rotated):
    ds = qvanalog.open(rotated.session, decode=False)
    times = ds.time
    t0 = int(times[0])
    for start, stop in ((0, t0), (t0, t0 + 1), (t0 + 5, t0 + 10_000_000), (int(times[-1]), int(times[-1]) + 1), (int(times[-1]) + 1, 2**62)):
        span = qvanalog.time_span(ds, start, stop)
        selected = times[span].values
        # Exactly the records with start <= time < stop.
        if selected.size:
            assert selected[0] >= start and selected[-1] < stop
        if span.start > 0:
            assert int(times[span.start - 1]) < start
        if span.stop < ds.sizes["record"]:
            assert int(times[span.stop]) >= stop


def test_the_package_metadata_names_the_version():
    dist = importlib.metadata.distribution("qvanalog")
    assert dist.version == qvanalog.__version__
    if os.environ.get("QVX_PROJECT_VERSION"):
        assert qvanalog.__version__ == os.environ["QVX_PROJECT_VERSION"]


def test_bare_report_folder_uses_the_default_settings(plain):
    ds = qvanalog.open(plain.repo, decode=False)
    assert [ds[c].attrs["range_mV"] for c in CHANNELS] == [5000] * 4
    assert [ds[c].attrs["long_name"] for c in CHANNELS] == [f"Channel {c}" for c in range(1, 5)]
    assert ds.attrs["sampling_frequency"] == 1_048_576
    assert ds.attrs["source_session"] == os.path.abspath(plain.repo)
    assert qvanalog.markers(plain.repo) == {"M1": {"enabled": False, "time": 0}, "M2": {"enabled": False, "time": 0}}
    assert np.array_equal(ds.ch2.values, qvanalog.open(plain.session, decode=False).ch2.values)
    assert F.SAMPLE_MAX == 16383
