"""The README's Python examples, run as written on a recording made by `qvanalog record`."""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

README = Path(__file__).resolve().parents[2] / "README.md"


def examples():
    """{name: code} of the README's indented code blocks that begin with "# example: NAME"."""
    out = {}
    lines = README.read_text(encoding="utf-8").splitlines()
    for i, line in enumerate(lines):
        m = re.fullmatch(r"    # example: (\w+)", line)
        if not m:
            continue
        block = []
        for following in lines[i + 1 :]:
            if following.strip() and not following.startswith("    "):
                break
            block.append(following[4:])
        out[m.group(1)] = "\n".join(block).strip() + "\n"
    return out


@pytest.fixture
def rec_folder(plain, tmp_path):
    """rec/first.qvxa as the examples name it: the plain recording's settings beside links
    to its report folder and overviews."""
    rec = tmp_path / "rec"
    rec.mkdir()
    shutil.copy(plain.session, rec / "first.qvxa")
    os.symlink(plain.repo, rec / "repo")
    os.symlink(plain.repo.parent / "repo.overview", rec / "repo.overview")
    return tmp_path


def run(code, cwd):
    return subprocess.run([sys.executable, "-c", code], cwd=cwd, capture_output=True, text=True, timeout=300,
                          env=dict(os.environ, MPLBACKEND="Agg"))


def test_the_readme_has_the_three_examples():
    assert set(examples()) == {"mean", "envelope", "distributed"}


@pytest.mark.parametrize("name", ["mean", "envelope", "distributed"])
def test_readme_example_runs(name, rec_folder, plain):
    r = run(examples()[name], rec_folder)
    assert r.returncode == 0, r.stderr
    if name == "mean":
        value, unit = r.stdout.split()
        assert unit == "V" and -0.1 <= float(value) <= 0.1  # CH1: 100 mV full scale
    elif name == "envelope":
        png = rec_folder / "envelope.png"
        assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
        if os.environ.get("QVX_KEEP_EXAMPLE_PLOT"):
            shutil.copy(png, os.environ["QVX_KEEP_EXAMPLE_PLOT"])
    else:
        assert "ch1" in r.stdout and "ch4" in r.stdout
