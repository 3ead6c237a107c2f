"""Reports as a crash or a running trace leaves them: a torn last record, a file just
created by the writer, a file still growing, files without records."""

import numpy as np

import qvanalog
from conftest import RECORDS_PER_FILE, counter_records, report_header, snapshot, write_report_file

RATE = 10_485_760


def full_sparse_file(path, number):
    """A full report file (2^25 records) whose records are all zero except the first 1000
    and the last 1000 (counter pattern), without writing 512 MiB."""
    first = number * RECORDS_PER_FILE
    write_report_file(path, counter_records(first, 1000, RATE), report_header(1_800_000_000, 5))
    with open(path, "r+b") as f:
        f.seek(512 + 16 * (RECORDS_PER_FILE - 1000))
        f.write(counter_records(first + RECORDS_PER_FILE - 1000, 1000, RATE).tobytes())


def test_torn_last_record_is_ignored(tmp_path, tool):
    repo = tmp_path / "repo"
    repo.mkdir()
    write_report_file(repo / "00000000.DAT", counter_records(0, 5000, RATE), report_header(1_800_000_000, 999_999_999), tail=b"\x01" * 11)
    before = snapshot(tmp_path)
    ds = qvanalog.open(repo, decode=False)
    assert ds.sizes["record"] == 5000
    assert np.array_equal(ds.ch1.values, np.arange(5000) & 16383)
    assert ds.attrs["start_time"] == "2027-01-15T08:00:00.999999999Z"
    assert ds.attrs["start_time_ns"] == 1_800_000_000_999_999_999
    info = tool.json("info", repo)
    assert info["files"][0]["tornBytes"] == 11 and info["totalRecordCount"] == 5000
    e = qvanalog.envelope(repo, 0, int(ds.time[-1]) + 1, 4)
    assert int(e["last"][-1]) == 4999
    assert snapshot(tmp_path) == before


def test_report_still_being_written(tmp_path):
    repo = tmp_path / "repo"
    repo.mkdir()
    full_sparse_file(repo / "00000000.DAT", 0)
    # The writer has just created the next file and not yet written its header.
    (repo / "00000001.DAT").write_bytes(b"")
    ds = qvanalog.open(repo, decode=False)
    assert ds.sizes["record"] == RECORDS_PER_FILE
    assert int(ds.index[-1]) == RECORDS_PER_FILE - 1
    assert np.array_equal(ds.ch3[-1000:].values, counter_records(RECORDS_PER_FILE - 1000, 1000, RATE)["ch3"])

    # The header is written, then records arrive, the last one half written.
    records = counter_records(RECORDS_PER_FILE, 3000, RATE)
    write_report_file(repo / "00000001.DAT", records, report_header(), tail=records[:1].tobytes()[:9])
    grown = qvanalog.open(repo, decode=False)
    assert grown.sizes["record"] == RECORDS_PER_FILE + 3000
    assert grown.ch1.chunks[0][-1] == 3000
    assert np.array_equal(grown.time[-3000:].values, records["stamp"].astype(np.int64) * 10)
    assert int(grown.index[-1]) == RECORDS_PER_FILE + 2999
    # The Dataset opened before still reads the records it knew.
    assert ds.sizes["record"] == RECORDS_PER_FILE and int(ds.time[-1]) == int(grown.time[RECORDS_PER_FILE - 1])

    e = qvanalog.envelope(repo, 0, int(grown.time[-1]) + 1, 2)
    assert int(e["last"][-1]) == RECORDS_PER_FILE + 2999


def test_empty_files_and_several_files(tmp_path):
    repo = tmp_path / "repo"
    repo.mkdir()
    # Files 0 and 1 full, file 2 short, file 3 without records: the writer opens the next
    # file before its first record.
    full_sparse_file(repo / "00000000.DAT", 0)
    full_sparse_file(repo / "00000001.DAT", 1)
    write_report_file(repo / "00000002.DAT", counter_records(2 * RECORDS_PER_FILE, 70_000, RATE))
    write_report_file(repo / "00000003.DAT", counter_records(0, 0, RATE))
    ds = qvanalog.open(repo, decode=False)
    assert ds.sizes["record"] == 2 * RECORDS_PER_FILE + 70_000
    assert ds.ch2.chunks[0] == (1 << 22,) * 16 + (70_000,)
    boundary = slice(RECORDS_PER_FILE - 1000, RECORDS_PER_FILE + 1000)
    expected = counter_records(RECORDS_PER_FILE - 1000, 2000, RATE)
    for name in ("ch1", "ch2", "ch3", "ch4"):
        assert np.array_equal(ds[name][boundary].values, expected[name])
    assert np.array_equal(ds.index[boundary].values, np.arange(RECORDS_PER_FILE - 1000, RECORDS_PER_FILE + 1000))

    empty = tmp_path / "empty-repo"
    empty.mkdir()
    write_report_file(empty / "00000000.DAT", counter_records(0, 0, RATE))
    nothing = qvanalog.open(empty)
    assert nothing.sizes["record"] == 0 and nothing.ch1.values.size == 0
    e = qvanalog.envelope(empty, 0, 100, 3)
    assert e["first"].mask.all() and e["channels"][0]["max"].mask.all()
    assert qvanalog.hits(empty).size == 0


def test_codes_above_14_bits_are_limited_and_time_ignores_the_upper_bits(tmp_path):
    repo = tmp_path / "repo"
    repo.mkdir()
    records = counter_records(0, 4, RATE)
    records["ch1"] = [0x3FFF, 0x4000, 0xFFFF, 0]
    records["stamp"] |= np.uint64(0xBEEF) << np.uint64(48)
    write_report_file(repo / "00000000.DAT", records)
    raw = qvanalog.open(repo, decode=False)
    assert raw.ch1.values.tolist() == [16383, 16383, 16383, 0]
    assert raw.time.values.tolist() == [0, 90, 190, 280]
    volts = qvanalog.open(repo).ch1.values
    assert volts[0] == volts[1] == volts[2] == 16383 * (10.0 / 16383.0) - 5.0 and volts[3] == -5.0
    e = qvanalog.envelope(repo, 0, 300, 1)
    assert int(e["channels"][0]["max"][0]) == 16383 and int(e["channels"][0]["min"][0]) == 0
