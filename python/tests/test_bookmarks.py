"""qvanalog.bookmarks against the program's own view of the same recording."""

import json
import warnings

import pytest

import qvanalog
from conftest import counter_records, write_report_file


@pytest.fixture
def repo(tmp_path):
    folder = tmp_path / "repo"
    folder.mkdir()
    write_report_file(folder / "00000000.DAT", counter_records(0, 1000, 1_048_576))
    return folder


def test_bookmarks_are_those_the_program_added_and_lists(repo, tool):
    assert qvanalog.bookmarks(repo) == []  # no "meta" yet
    tool.run("bookmarks", repo, "--add", 1500, "--name", "立ち上がり", "--note", "ポンプ起動\n2行目")
    tool.run("bookmarks", repo, "--add", 0)
    tool.run("bookmarks", repo, "--add", 30, "--name", "gone")
    tool.run("bookmarks", repo, "--delete", 3)
    listed = tool.json("bookmarks", repo)["bookmarks"]
    assert qvanalog.bookmarks(repo) == listed
    assert [b["name"] for b in listed] == ["立ち上がり", "B2"]
    assert listed[0]["timeNSec"] == 1500 and listed[0]["visible"] is True
    assert qvanalog.hits(repo).size == 0  # the hits are read as before


def test_entries_the_program_skips_are_skipped_with_a_warning_naming_them(repo):
    entries = [
        {"id": 1, "timeNSec": 5, "name": "ok", "note": "", "color": "#F80", "visible": False},
        {"id": 1, "timeNSec": 6, "name": "same id", "note": "", "color": "#FF000000", "visible": True},
        {"id": 2, "timeNSec": 7, "name": "n" * 1001, "note": "", "color": "#FF000000", "visible": True},
        {"id": 3, "timeNSec": 8, "name": "colour", "note": "", "color": "red", "visible": True},
    ]
    meta = {"value0": {"displayTriggerList": [{"dataIndex": 4, "widthNSec": 0}], "bookmarks": entries}}
    (repo / "meta").write_text(json.dumps(meta), encoding="utf-8")
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        got = qvanalog.bookmarks(repo)
    assert [b["id"] for b in got] == [1, 3]
    assert got[0]["color"] == "#FFFF8800" and got[1]["color"] == "#00000000"
    texts = [str(w.message) for w in caught]
    assert any("bookmarks[1].id" in t for t in texts)
    assert any("bookmarks[2].name" in t for t in texts)
    assert any("bookmarks[3].color" in t for t in texts)
    assert qvanalog.hits(repo)["index"].tolist() == [4]  # the rest of "meta" still reads

    meta["value0"]["bookmarks"] = {"id": 1}
    (repo / "meta").write_text(json.dumps(meta), encoding="utf-8")
    with pytest.warns(UserWarning, match="bookmarks: not an array"):
        assert qvanalog.bookmarks(repo) == []
