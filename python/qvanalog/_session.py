"""A recording as the user names it: a session settings file (".qvxa") beside its "repo"
folder, or a bare report folder (read with the program's default settings)."""

import os
import stat
from dataclasses import dataclass

from . import _report
from ._errors import ReportError
from ._settings import REPORT_DATA_MIN_VERSION, Settings, load_settings

REPORT_FOLDER_NAME = "repo"
METADATA_FILE_NAME = "meta"


@dataclass
class Recording:
    report: _report.Report
    settings: Settings
    settings_path: str  # empty for a bare report folder
    source: str  # absolute path of the settings file, else of the report folder

    @property
    def report_folder(self):
        return self.report.folder

    @property
    def metadata_path(self):
        return os.path.join(self.report.folder, METADATA_FILE_NAME)


def _absolute(path):
    return os.path.normpath(os.path.abspath(path))


def load_settings_only(path):
    """(settings, settings_path, report_folder) without opening the report data."""
    path = os.fspath(path)
    try:
        st = os.stat(path)
    except FileNotFoundError:
        raise ReportError(path, "no such file or folder") from None
    except OSError as e:
        raise ReportError(path, f"cannot be reached: {e.strerror or e}") from None
    if stat.S_ISDIR(st.st_mode):
        return Settings(), "", path
    if not stat.S_ISREG(st.st_mode):
        raise ReportError(path, "neither a session file (.qvxa) nor a report folder")
    if _report.is_report_file_name(os.path.basename(path)):
        raise ReportError(path, "a report data file: open its folder, or the session file (.qvxa) beside that folder")
    settings = load_settings(path)
    return settings, path, os.path.join(os.path.dirname(path) or ".", REPORT_FOLDER_NAME)


def open_recording(path):
    """The recording at `path` (a settings file or a report folder); raises ReportError."""
    settings, settings_path, folder = load_settings_only(path)
    if settings_path:
        if not os.path.isdir(folder):
            raise ReportError(settings_path, f"the session has no report data (no folder {folder})")
        if settings.class_version < REPORT_DATA_MIN_VERSION:
            raise ReportError(
                settings_path,
                f"settings class version {settings.class_version}: report data recorded before version 2.0.0 "
                "cannot be read (the program opens only the settings of this session)",
            )
    try:
        report = _report.open_report(folder)
    except ReportError as e:
        if not settings_path and e.path == folder and os.path.isdir(os.path.join(folder, REPORT_FOLDER_NAME)):
            raise ReportError(folder, e.problem + " (a session folder: open its .qvxa file, or the folder "
                                      f"{os.path.join(folder, REPORT_FOLDER_NAME)})") from None
        raise
    return Recording(report=report, settings=settings, settings_path=settings_path,
                     source=_absolute(settings_path or folder))
