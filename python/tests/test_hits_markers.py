"""qvanalog.hits and qvanalog.markers against the program's view of the same session."""

import json

import numpy as np

import qvanalog
from conftest import RECORDS_PER_FILE, counter_records, write_report_file


def test_hits_are_the_saved_display_trigger_list_with_their_times(plain, tool):
    info = tool.json("info", plain.session)
    saved = info["displayTriggerList"]
    assert len(saved) > 10  # the repeated high-pulse trigger on CH1's sawtooth
    hits = qvanalog.hits(plain.session)
    assert hits.dtype == qvanalog.HIT_DTYPE
    assert hits["index"].tolist() == [h["dataIndex"] for h in saved]
    assert hits["width"].tolist() == [h["widthNSec"] for h in saved]
    assert (hits["width"] > 0).all()
    for hit in hits[:3]:
        assert hit["time"] == tool.json("read", plain.session, "--index", int(hit["index"]))["timeStamp"] * 10
    ds = qvanalog.open(plain.session, decode=False)
    assert np.array_equal(hits["time"], ds.time.values[hits["index"]])
    assert np.array_equal(qvanalog.hits(plain.repo), hits)  # "meta" lives in the report folder


def test_hits_of_records_no_longer_stored_have_no_time(tmp_path):
    repo = tmp_path / "repo"
    repo.mkdir()
    write_report_file(repo / "00000001.DAT", counter_records(RECORDS_PER_FILE, 100, 1_048_576))
    meta = {"value0": {"displayTriggerList": [{"dataIndex": 5, "widthNSec": 0},
                                              {"dataIndex": RECORDS_PER_FILE + 7, "widthNSec": 1200},
                                              {"dataIndex": RECORDS_PER_FILE + 100, "widthNSec": 0}]}}
    (repo / "meta").write_text(json.dumps(meta, indent=4))
    hits = qvanalog.hits(repo)
    assert hits["time"].tolist() == [-1, (RECORDS_PER_FILE + 7) * 100_000_000 // 1_048_576 * 10, -1]
    assert hits["width"].tolist() == [0, 1200, 0]


def test_markers_come_from_the_settings(plain, tmp_path):
    saved = plain.settings["visualSettings"]["markers"]
    assert qvanalog.markers(plain.session) == {f"M{i + 1}": {"enabled": m["enabled"], "time": m["time"]} for i, m in enumerate(saved)}
    edited = json.loads(plain.session.read_text(encoding="utf-8"))
    edited["value0"]["visualSettings"]["markers"][0].update(enabled=True, time=123_450)
    edited["value0"]["visualSettings"]["markers"][1].update(enabled=False, time=9_876_540)
    path = tmp_path / "edited.qvxa"
    path.write_text(json.dumps(edited, indent=4), encoding="utf-8")
    # Only the settings are read: no "repo" beside this file.
    assert qvanalog.markers(path) == {"M1": {"enabled": True, "time": 123_450}, "M2": {"enabled": False, "time": 9_876_540}}
