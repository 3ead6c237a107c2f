"""qvanalog.envelope against `qvanalog envelope --json` on the same spans: from the
overviews, from an overview in the cache folder, and from the records where the overview
is missing, stale or damaged."""

import os
import shutil

import numpy as np
import pytest

import qvanalog
from conftest import counter_records, snapshot
from qvanalog import _overview, _report


def assert_same_envelope(ours, theirs):
    assert ours["columns"] == theirs["columns"]
    assert ours["from"] == theirs["from"] and ours["to"] == theirs["to"]
    pairs = [(ours["first"], theirs["first"]), (ours["last"], theirs["last"])]
    for c in range(4):
        for key in ("min", "max"):
            pairs.append((ours["channels"][c][key], theirs["channels"][c][key]))
    for mine, expected in pairs:
        assert isinstance(mine, np.ma.MaskedArray)
        nulls = np.array([v is None for v in expected])
        assert np.array_equal(np.ma.getmaskarray(mine), nulls)
        assert np.array_equal(mine.compressed(), np.array([v for v in expected if v is not None], dtype=np.int64))


def spans_of(made):
    ds = qvanalog.open(made.session, decode=False)
    t0, t1 = int(ds.time[0]), int(ds.time[-1])
    middle = (t0 + t1) // 2
    return [
        (0, t1 + 1, 1),
        (0, t1 + 1, 1920),
        (-1000, t1 + 10_000_000, 777),
        (t0 + 3, t0 + 20_000, 3000),  # about one record per column: many empty columns
        (middle - 1_234_567, middle + 7_654_321, 100_000),
        (t1 - 5000, t1 + 5000, 10),
        (t1 + 1, t1 + 1_000_000, 4),  # after the last record: every column empty
        (-(2**62), 2**62, 3),
    ]


@pytest.mark.parametrize("which", ["plain", "rotated"])
def test_envelope_equals_the_command(which, request, tool):
    made = request.getfixturevalue(which)
    for start, stop, columns in spans_of(made):
        theirs = tool.json("envelope", made.session, "--from", start, "--to", stop, "--columns", columns)
        assert_same_envelope(qvanalog.envelope(made.session, start, stop, columns), theirs)


def test_rotated_boundary_and_prefix(rotated, tool):
    # Around the boundary of files 1 and 2, and a span wholly in the rotated-out file 0.
    boundary_ns = int(qvanalog.open(rotated.session).time[1 << 25])  # file 2's first record
    for start, stop, columns in ((boundary_ns - 700_000, boundary_ns + 300_000, 1001), (0, 1_000_000, 8)):
        theirs = tool.json("envelope", rotated.repo, "--from", start, "--to", stop, "--columns", columns)
        assert_same_envelope(qvanalog.envelope(rotated.repo, start, stop, columns), theirs)


@pytest.fixture
def copies(rotated, tmp_path):
    """The rotated report's data files hard-linked into fresh folders, to give each its own
    overview (or none) without copying 513 MiB."""

    def make(name, overview="sibling"):
        repo = tmp_path / name / "repo"
        repo.mkdir(parents=True)
        for p in rotated.repo.glob("*.DAT"):
            os.link(p, repo / p.name)
        source = rotated.repo.parent / "repo.overview"
        if overview == "sibling":
            shutil.copytree(source, tmp_path / name / "repo.overview")
        elif overview == "cache":
            for p in source.glob("*.OVW"):
                target = _overview.cache_path(str(repo / (p.stem + ".DAT")))
                os.makedirs(os.path.dirname(target), exist_ok=True)
                shutil.copy(p, target)
        return repo

    return make


def reference(tool, rotated):
    ds = qvanalog.open(rotated.session, decode=False)
    t0, t1 = int(ds.time[0]), int(ds.time[-1])
    # The last span covers level-0 blocks 100,001 to 100,078 of file 1 as one column.
    edge = (int(ds.time[100_000 * 64 + 10]), int(ds.time[100_000 * 64 + 5000]))
    spans = [(t0, t1 + 1, 640), (t0 + 1_000_000, t0 + 1_000_500, 50), (edge[0], edge[1], 1)]
    return [(s, tool.json("envelope", rotated.session, "--from", s[0], "--to", s[1], "--columns", s[2])) for s in spans]


def flip_byte(path, offset):
    with open(path, "r+b") as f:
        f.seek(offset)
        b = f.read(1)
        f.seek(offset)
        f.write(bytes([b[0] ^ 0x40]))


def overview_state(repo):
    files = _report.open_report(repo).stored_files
    return [o is not None and not o.damaged for o in _overview.find_all(files)]


def test_overviews_beside_or_in_the_cache_are_used(copies, rotated, tool):
    expected = reference(tool, rotated)
    for where in ("sibling", "cache"):
        repo = copies(where, where)
        assert overview_state(repo) == [True, True]
        for (start, stop, n), theirs in expected:
            assert_same_envelope(qvanalog.envelope(repo, start, stop, n), theirs)


def test_missing_stale_or_damaged_overviews_fall_back_to_the_records(copies, rotated, tool):
    expected = reference(tool, rotated)
    ovw = lambda repo, number: repo.parent / "repo.overview" / f"{number:08d}.OVW"  # noqa: E731
    missing = copies("missing", None)
    level0 = copies("level0")
    flip_byte(ovw(level0, 1), 128 + 88 * 100_005 + 9)  # a minimum in a level-0 entry: a group checksum fails
    level1 = copies("level1")
    size = os.path.getsize(ovw(level1, 1))
    flip_byte(ovw(level1, 1), size - 200)  # inside the level-2 entries: the header checksum fails
    truncated = copies("truncated")
    with open(ovw(truncated, 2), "r+b") as f:
        f.truncate(1000)
    other_version = copies("version")
    flip_byte(ovw(other_version, 2), 8)
    assert overview_state(missing) == [False, False]
    assert overview_state(level1) == [False, True]
    assert overview_state(truncated) == [True, False]
    assert overview_state(other_version) == [True, False]
    for repo in (missing, level0, level1, truncated, other_version):
        before = snapshot(repo.parent)
        for (start, stop, n), theirs in expected:
            assert_same_envelope(qvanalog.envelope(repo, start, stop, n), theirs)
        assert snapshot(repo.parent) == before  # nothing rebuilt, nothing written
    # The damaged level-0 group was found when the last span used it.
    assert overview_state(level0) == [False, True]


def test_a_grown_data_file_makes_its_overview_stale(plain, tmp_path, tool):
    repo = tmp_path / "grown" / "repo"
    repo.mkdir(parents=True)
    shutil.copy(plain.repo / "00000000.DAT", repo)
    shutil.copytree(plain.repo.parent / "repo.overview", tmp_path / "grown" / "repo.overview")
    assert overview_state(repo) == [True]
    extra = counter_records(plain.records, 100, plain.rate)
    extra["ch4"] = 0
    with open(repo / "00000000.DAT", "ab") as f:
        f.write(extra.tobytes() + b"torn")
    assert overview_state(repo) == [False]
    ds = qvanalog.open(repo, decode=False)
    assert ds.sizes["record"] == plain.records + 100
    end = int(ds.time[-1]) + 1
    ours = qvanalog.envelope(repo, 0, end, 333)
    # The appended records hold the minimum of CH4 in the last column.
    assert int(ours["channels"][3]["min"][-1]) == 0 and int(ours["last"][-1]) == plain.records + 99
    # The command rebuilds the overview of this copy first; its answer is the same.
    assert_same_envelope(ours, tool.json("envelope", repo, "--from", 0, "--to", end, "--columns", 333))


def test_envelope_arguments_are_checked(plain):
    for args, error in (((10, 10, 1), ValueError), ((10, 5, 1), ValueError), ((0, 10, 0), ValueError),
                        ((0, 10, 100_001), ValueError), ((0.5, 10, 1), TypeError), ((0, 10, "3"), TypeError)):
        with pytest.raises(error):
            qvanalog.envelope(plain.session, *args)
