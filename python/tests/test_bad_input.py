"""Input that is not a readable recording: a ReportError naming the file and the problem,
from open, envelope, hits and the xarray engine alike, and nothing written."""

import json
import os
import re
import shutil

import pytest
import xarray as xr

import qvanalog
from conftest import counter_records, report_header, snapshot, write_report_file


def report_folder(tmp_path, name, files):
    """A folder with report files {name: bytes or (records, header, tail)}."""
    folder = tmp_path / name
    folder.mkdir()
    for file_name, content in files.items():
        if isinstance(content, bytes):
            (folder / file_name).write_bytes(content)
        else:
            write_report_file(folder / file_name, *content)
    return folder


def good(count=100, first=0):
    return (counter_records(first, count, 1_048_576), report_header())


def session_beside(folder_parent, settings_text, with_repo=True):
    path = folder_parent / "s.qvxa"
    path.write_text(settings_text, encoding="utf-8")
    if with_repo:
        report_folder(folder_parent, "repo", {"00000000.DAT": good()})
    return path


def default_settings(tool, tmp_path):
    # Its own folder: settings init refuses a settings file beside report data files.
    folder = tmp_path / "defaults"
    folder.mkdir(exist_ok=True)
    path = folder / "default.qvxa"
    tool.run("settings", "init", path)
    return json.loads(path.read_text())


def cases(tmp_path, tool):
    """(path to open, the file the error must name, words of the problem)."""
    out = []
    add = lambda path, named, words: out.append((path, named, words))  # noqa: E731

    add(tmp_path / "nothing-here", tmp_path / "nothing-here", "no such file or folder")
    empty = tmp_path / "empty"
    empty.mkdir()
    add(empty, empty, "no report data files")
    others = report_folder(tmp_path, "others", {"notes.txt": b"hello", "00000000.DAT.bak": b"x"})
    (others / "00000001.DAT").mkdir()  # a folder named like a data file is no data file
    add(others, others, "no report data files")

    magic = report_folder(tmp_path, "magic", {"00000000.DAT": (good()[0], report_header(magic=b"QMRS-QV-DATX.   "))})
    add(magic, magic / "00000000.DAT", "wrong magic")
    fmt = report_folder(tmp_path, "format", {"00000000.DAT": (good()[0], report_header(report_format=5))})
    add(fmt, fmt / "00000000.DAT", "report format 5")
    short = report_folder(tmp_path, "short", {"00000000.DAT": report_header()[:300]})
    add(short, short / "00000000.DAT", "shorter than 512 bytes")
    short_later = report_folder(tmp_path, "short-later", {"00000000.DAT": good(), "00000001.DAT": report_header()[:100]})
    add(short_later, short_later / "00000001.DAT", "shorter than 512 bytes")
    zero_later = report_folder(tmp_path, "zero-later", {"00000000.DAT": good(), "00000001.DAT": b""})
    add(zero_later, zero_later / "00000001.DAT", "shorter than 512 bytes")  # file 0 is not full
    not_report = report_folder(tmp_path, "png", {"00000000.DAT": b"\x89PNG\r\n\x1a\n" + bytes(600)})
    add(not_report, not_report / "00000000.DAT", "wrong magic")

    name = report_folder(tmp_path, "name", {"00000000.DAT": good(), "copy of 1.DAT": good()})
    add(name, name / "copy of 1.DAT", "not a report data file name")
    twice = report_folder(tmp_path, "twice", {"1.DAT": good(), "01.DAT": good()})
    add(twice, twice, "the same file number 1")
    gap = report_folder(tmp_path, "gap", {"00000001.DAT": good(), "00000003.DAT": good()})
    add(gap, gap, "00000002.DAT")
    fifo = tmp_path / "fifo"
    fifo.mkdir()
    os.mkfifo(fifo / "00000000.DAT")
    add(fifo, fifo / "00000000.DAT", "not a regular file")
    big = report_folder(tmp_path, "big", {"00000000.DAT": good(), "00000001.DAT": good()})
    with open(big / "00000000.DAT", "r+b") as f:  # sparse: more records than a file's share
        f.truncate(512 + 16 * ((1 << 25) + 1))
    add(big, big / "00000000.DAT", "more than a report file's")

    dat = tmp_path / "dat-file.DAT"
    write_report_file(dat, *good())
    add(dat, dat, "a report data file")

    settings = default_settings(tool, tmp_path)
    garbage = tmp_path / "garbage"
    garbage.mkdir()
    add(session_beside(garbage, "\x00\x01 not json"), garbage / "s.qvxa", "JSON syntax error")
    add(garbage, garbage, "a session folder: open its .qvxa file")  # the folder, not the file
    array_root = tmp_path / "array-root"
    array_root.mkdir()
    add(session_beside(array_root, "[1, 2]"), array_root / "s.qvxa", "root is not an object")

    def variant(name, edit, with_repo=True, words=""):
        folder = tmp_path / name
        folder.mkdir()
        s = json.loads(json.dumps(settings))
        edit(s["value0"])
        add(session_beside(folder, json.dumps(s), with_repo), folder / "s.qvxa", words)

    variant("missing-member", lambda v: v.pop("trigger2ChThreshold"), words="missing member value0.trigger2ChThreshold")
    variant("wrong-type", lambda v: v.update(samplingFrequency="fast"), words="value0.samplingFrequency")
    variant("bool-for-int", lambda v: v["visualSettings"]["tracks"][1].update(probeAttenuationRatio=True), words="probeAttenuationRatio")
    variant("no-version", lambda v: v["visualSettings"]["tracks"][0].pop("cereal_class_version"), words="cereal_class_version")
    variant("three-channels", lambda v: v.update(channelVoltages=[1, 2, 3]), words="channelVoltages has 3 entries")
    variant("range", lambda v: v["channelVoltages"].__setitem__(2, 6), words="channelVoltages[2] = 6")
    variant("probe", lambda v: v["visualSettings"]["tracks"][3].update(probeAttenuationRatio=2), words="probe index")
    variant("rate", lambda v: v.update(samplingFrequency=3), words="samplingFrequency 3")
    variant("old", lambda v: v.update(cereal_class_version=3), words="before version 2.0.0")
    variant("no-repo", lambda v: None, with_repo=False, words="has no report data")
    return out


def test_bad_input_is_refused_with_the_file_and_the_problem(tmp_path, tool):
    all_cases = cases(tmp_path, tool)
    before = snapshot(tmp_path)
    for path, named, words in all_cases:
        for call in (lambda: qvanalog.open(path), lambda: qvanalog.envelope(path, 0, 10, 2), lambda: qvanalog.hits(path),
                     lambda: xr.open_dataset(path, engine="qvanalog")):
            with pytest.raises(qvanalog.ReportError) as e:
                call()
            assert e.value.path == str(named), (path, str(e.value))
            assert words in e.value.problem, (path, str(e.value))
            assert str(e.value).startswith(str(named) + ": ")
    assert snapshot(tmp_path) == before


def test_damaged_meta_is_refused_by_hits_only(tmp_path):
    repo = report_folder(tmp_path, "repo", {"00000000.DAT": good()})
    (repo / "meta").write_text('{"value0": {"displayTriggerList": [{"dataIndex": 5}]}}')
    with pytest.raises(qvanalog.ReportError, match=re.escape("missing member value0.displayTriggerList[0].widthNSec")):
        qvanalog.hits(repo)
    (repo / "meta").write_text("{")
    with pytest.raises(qvanalog.ReportError, match="not a report metadata file"):
        qvanalog.hits(repo)
    assert qvanalog.open(repo).sizes["record"] == 100  # the data itself still opens


def test_a_file_removed_after_opening_fails_when_read(tmp_path):
    repo = report_folder(tmp_path, "repo", {"00000000.DAT": good(1000)})
    ds = qvanalog.open(repo)
    shutil.rmtree(repo)
    with pytest.raises(qvanalog.ReportError, match="removed after the report was opened"):
        ds.ch1.values
