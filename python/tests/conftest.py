"""Recordings for the reader's tests, made by the built `qvanalog` (QVANALOG, the program's
path, set by ctest) from the simulated unit's counter pattern, with the program's own
HDF5 exports and JSON outputs to compare with. Everything lives in pytest's temp folder;
XDG_CACHE_HOME points there too, so that no overview is looked for or left elsewhere.

Set QVX_PYTEST_STRICT=1 (ctest does) to turn skips into failures: a run that skips its
comparisons with the program must not pass.
"""

import json
import os
import shutil
import subprocess
import sys
from dataclasses import dataclass, field
from pathlib import Path

import numpy as np
import pytest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))

from qvanalog import _format as F  # noqa: E402

RECORDS_PER_FILE = F.RECORDS_PER_FILE
STRICT = os.environ.get("QVX_PYTEST_STRICT") == "1"


# --- the counter pattern of the simulated unit ---------------------------------------------


def counter_records(first, count, rate):
    """Records first..first+count-1 of the counter pattern: time floor(i x 1e8 / rate) ticks,
    samples i mod 16384, (i div 16384) mod 16384, 7i mod 16384, 16383 - (i mod 16384)."""
    i = np.arange(first, first + count, dtype=np.uint64)
    out = np.zeros(count, dtype=F.RECORD_DTYPE)
    # i x 1e8 fits in 64 bits for every index of these tests (i < 2^36).
    out["stamp"] = i * np.uint64(100_000_000) // np.uint64(rate)
    out["ch1"] = i & np.uint64(16383)
    out["ch2"] = (i >> np.uint64(14)) & np.uint64(16383)
    out["ch3"] = (i * np.uint64(7)) & np.uint64(16383)
    out["ch4"] = np.uint64(16383) - (i & np.uint64(16383))
    return out


def report_header(start_seconds=0, start_ns=0, report_format=F.REPORT_FORMAT_ANALOG, magic=F.MAGIC):
    h = bytearray(F.HEADER_SIZE)
    h[: len(magic)] = magic
    h[24:28] = (1).to_bytes(4, "little")
    h[28:32] = (1040).to_bytes(4, "little")
    h[32:36] = report_format.to_bytes(4, "little")
    h[36:40] = (3).to_bytes(4, "little")
    h[40:48] = (8).to_bytes(8, "little")
    h[48:56] = start_seconds.to_bytes(8, "little", signed=True)
    h[64:72] = start_ns.to_bytes(8, "little", signed=True)
    return bytes(h)


def write_report_file(path, records, header=None, tail=b""):
    with open(path, "wb") as f:
        f.write(header if header is not None else report_header())
        f.write(records.tobytes())
        f.write(tail)


def snapshot(*roots):
    """Every file and folder below `roots` with its size, mtime and (for small files) bytes."""
    out = {}
    for root in roots:
        for base, dirs, files in os.walk(root):
            for name in dirs + files:
                p = os.path.join(base, name)
                st = os.lstat(p)
                content = None
                if os.path.isfile(p) and st.st_size < (1 << 20):
                    content = Path(p).read_bytes()
                out[p] = (st.st_mode, st.st_size, st.st_mtime_ns, content)
    return out


# --- the program -------------------------------------------------------------------------------


@pytest.fixture(scope="session")
def workdir(tmp_path_factory):
    root = tmp_path_factory.mktemp("qvanalog-py")
    saved = {k: os.environ.get(k) for k in ("XDG_CACHE_HOME", "QVPLUS_TEMP_DIR")}
    os.environ["XDG_CACHE_HOME"] = str(root / "cache")
    os.environ["QVPLUS_TEMP_DIR"] = str(root / "app")
    (root / "app").mkdir()
    yield root
    for k, v in saved.items():
        if v is None:
            os.environ.pop(k, None)
        else:
            os.environ[k] = v
    # The recordings (and the tests' hard links to them) take about 600 MB: gone at once.
    shutil.rmtree(tmp_path_factory.getbasetemp(), ignore_errors=True)


@dataclass
class Tool:
    path: str

    def run(self, *args, env=None, check=True):
        full_env = dict(os.environ, QVPLUS_SIM_SIGNAL="counter", QVPLUS_SIM_FAULTS="", LC_ALL="C.UTF-8")
        full_env.pop("QVPLUS_SIMULATED_UNITS", None)
        full_env.update(env or {})
        r = subprocess.run([self.path, *map(str, args)], capture_output=True, text=True, env=full_env, timeout=600)
        if check and r.returncode != 0:
            raise AssertionError(f"qvanalog {' '.join(map(str, args))} failed ({r.returncode}): {r.stderr}")
        return r

    def json(self, *args):
        return json.loads(self.run(*args, "--json").stdout)


@pytest.fixture(scope="session")
def tool(workdir):
    path = os.environ.get("QVANALOG")
    if not path or not os.access(path, os.X_OK):
        message = "QVANALOG does not name the built qvanalog program (ctest sets it)"
        if STRICT:
            pytest.fail(message)
        pytest.skip(message)
    return Tool(path)


def edit_settings(tool, path, edit):
    tool.run("settings", "init", path)
    s = json.loads(Path(path).read_text(encoding="utf-8"))
    edit(s["value0"])
    Path(path).write_text(json.dumps(s, indent=4, ensure_ascii=False), encoding="utf-8")


@dataclass
class Made:
    session: Path
    repo: Path
    rate: int
    records: int
    settings: dict = field(default_factory=dict)
    h5: Path = None
    h5_rows: tuple = None  # (first index, count) the export holds

    @property
    def first_index(self):
        return min(int(p.stem) for p in self.repo.glob("*.DAT")) * RECORDS_PER_FILE


def _plain_settings(v):
    v["channelVoltages"] = [0, 3, 4, 5]
    tracks = v["visualSettings"]["tracks"]
    for t, (probe, enabled) in zip(tracks, [(0, True), (1, False), (0, True), (1, True)]):
        t["probeAttenuationRatio"] = probe
        t["enabled"] = enabled
    tracks[0]["name"] = "Pressure \u5727\u529b"
    tracks[2]["name"] = "Flow"
    # Repeated display trigger: high pulses of CH1 (a sawtooth) within 10 ms.
    v["displayTriggerMode"] = 2
    v["displayTriggerSourceChannel"] = 0
    v["displayTriggerSettings"][0].update(slope=2, voltageLevel=0, edgeWidthTime=10_000_000, widthEdgeComparison=0)


@pytest.fixture(scope="session")
def plain(tool, workdir):
    """8 MiB at 1 MS/s (524,288 records, one file) with its own ranges, probes, names,
    markers and display-trigger hits; exported whole to HDF5."""
    out = workdir / "plain"
    out.mkdir()
    settings = workdir / "plain-settings.qvxa"
    edit_settings(tool, settings, _plain_settings)
    summary = json.loads(tool.run("record", "--out", out / "p.qvxa", "--settings", settings, "--rate", "1M", "--size", "8", "--simulate", "--json").stdout)
    made = Made(out / "p.qvxa", out / "repo", 1_048_576, summary["records"])
    made.settings = json.loads(made.session.read_text(encoding="utf-8"))["value0"]
    made.h5 = workdir / "plain.h5"
    tool.run("export", made.session, "--out", made.h5, "--format", "hdf5", "--deflate", "0")
    made.h5_rows = (0, made.records)
    return made


@pytest.fixture(scope="session")
def rotated(tool, workdir):
    """1025 MiB at 10 MS/s with rotation keeping 2 files: file 0 rotated out, files 1 (full)
    and 2 (65,536 records) stored; an HDF5 export of the rows around the file boundary."""
    out = workdir / "rotated"
    out.mkdir()
    settings = workdir / "rotated-settings.qvxa"

    def rotate(v):
        v["enableReportFileRotation"] = True
        v["reportFileRotationTimeS"] = 1  # 2 files kept at 10 MS/s

    edit_settings(tool, settings, rotate)
    summary = json.loads(
        tool.run("record", "--out", out / "r.qvxa", "--settings", settings, "--rate", "10M", "--size", "1025", "--simulate", "--json",
                 env={"QVPLUS_SIM_SPEED": "max"}).stdout
    )
    assert summary["removedFiles"] == 1, summary
    made = Made(out / "r.qvxa", out / "repo", 10_485_760, summary["records"])
    made.settings = json.loads(made.session.read_text(encoding="utf-8"))["value0"]
    made.h5 = workdir / "rotated.h5"
    first = 2 * RECORDS_PER_FILE - 50_000
    count = 100_000
    # Rows are the data list's row numbers: index + 1, both ends included.
    tool.run("export", made.session, "--out", made.h5, "--format", "hdf5", "--deflate", "0", "--from", first + 1, "--to", first + count)
    made.h5_rows = (first, count)
    return made


def pytest_sessionfinish(session, exitstatus):
    if STRICT and exitstatus == 0:
        reporter = session.config.pluginmanager.get_plugin("terminalreporter")
        skipped = len(reporter.stats.get("skipped", [])) if reporter else 0
        if skipped:
            print(f"\n{skipped} test(s) skipped in a strict run (QVX_PYTEST_STRICT=1): failing", file=sys.stderr)
            session.exitstatus = 1
    if exitstatus == 5:
        print("\nno tests were collected: the run fails (pytest exit status 5)", file=sys.stderr)
