"""The session settings file (".qvxa") and the report metadata file ("meta").

Both are cereal JSON: a root object whose member "value0" holds the data. Each class
carries "cereal_class_version" at its first object in the file; members newer than that
version are absent and keep their defaults. A file is taken only when the program would
load it: every member of its version present with its JSON type.
"""

import json
import math
from dataclasses import dataclass, field

from ._errors import ReportError

# Full-scale amplitude in mV per [probe index][range index] (probe 0 = x1, 1 = x10).
RANGE_MV = ((100, 200, 500, 1000, 2000, 4000), (1000, 2000, 5000, 10000, 20000, 40000))
# Records per second per sampling frequency index.
SAMPLING_FREQUENCIES = (102_400, 1_048_576, 10_485_760)
# How a value is shown per [probe][range]: full scale in the shown unit, unit, decimals.
DISPLAY_RANGES = (
    ((100, "mV", 1), (200, "mV", 1), (500, "mV", 1), (1, "V", 3), (2, "V", 3), (4, "V", 3)),
    ((1, "V", 3), (2, "V", 3), (5, "V", 3), (10, "V", 2), (20, "V", 2), (40, "V", 2)),
)
SETTINGS_VERSION = 5
REPORT_DATA_MIN_VERSION = 4  # report data of older settings predates the current format


@dataclass
class Track:
    name: str = ""
    probe_index: int = 1
    enabled: bool = True


@dataclass
class Marker:
    enabled: bool = False
    time: int = 0  # ns from the start of the recording


def _default_tracks():
    return [Track(name=f"Channel {c + 1}") for c in range(4)]


@dataclass
class Settings:
    """What the reader needs of a session's settings; the defaults are the program's."""

    class_version: int = 0
    channel_voltages: tuple = (2, 2, 2, 2)
    sampling_frequency_index: int = 1
    tracks: list = field(default_factory=_default_tracks)
    markers: tuple = (Marker(), Marker())
    path: str = ""  # the settings file; empty for a bare report folder's defaults

    def track(self, channel):
        # A file may hold fewer tracks than channels; a missing track is a default one.
        return self.tracks[channel] if channel < len(self.tracks) else Track()

    @property
    def sampling_frequency(self):
        return SAMPLING_FREQUENCIES[self.sampling_frequency_index]

    def range_mv(self, channel):
        """Full-scale amplitude F of `channel` in mV with its probe: the channel covers -F..+F."""
        return RANGE_MV[self.track(channel).probe_index][self.channel_voltages[channel]]

    def scale(self, channel):
        """(scale_factor, add_offset): volts = code x scale_factor + add_offset."""
        full_scale_volts = self.range_mv(channel) / 1000.0
        return 2.0 * full_scale_volts / 16383.0, -full_scale_volts

    def display_text(self, channel, code):
        """The program's text of a raw code: the value rounded down to the range's decimals."""
        code = min(int(code), 16383)
        normalized = code / 16383.0 * 2.0 - 1.0
        value, unit, decimals = DISPLAY_RANGES[self.track(channel).probe_index][self.channel_voltages[channel]]
        steps = 10.0**decimals
        shown = math.floor(normalized * value * steps) / steps + 0.0
        return f"{shown:.{decimals}f}{unit}"


# --- loading ---------------------------------------------------------------------------

_INT32 = (-(2**31), 2**31 - 1)
_UINT32 = (0, 2**32 - 1)
_INT64 = (-(2**63), 2**63 - 1)


class _Loader:
    """Reads members with the types the program's loader insists on."""

    def __init__(self, path):
        self.path = path

    def fail(self, problem):
        raise ReportError(self.path, problem)

    def member(self, obj, key, kind, where):
        if not isinstance(obj, dict):
            self.fail(f"{where or 'the root'} is not a JSON object")
        if key not in obj:
            self.fail(f"missing member {where}{key}")
        value = obj[key]
        ok = {
            "int": lambda v: _is_int(v, _INT32),
            "uint": lambda v: _is_int(v, _UINT32),
            "uint8": lambda v: _is_int(v, _UINT32),
            "int64": lambda v: _is_int(v, _INT64),
            "bool": lambda v: isinstance(v, bool),
            "double": lambda v: isinstance(v, (int, float)) and not isinstance(v, bool),
            "string": lambda v: isinstance(v, str),
            "object": lambda v: isinstance(v, dict),
            "array": lambda v: isinstance(v, list),
            "fixed": lambda v: isinstance(v, (list, dict)),
        }[kind](value)
        if not ok:
            self.fail(f"member {where}{key} is not of the expected type ({kind}): {json.dumps(value)[:40]}")
        return value

    def fixed(self, obj, key, count, where):
        """A fixed-size member: its first `count` entries (array, or cereal's object form)."""
        value = self.member(obj, key, "fixed", where)
        items = list(value.values()) if isinstance(value, dict) else value
        if len(items) < count:
            self.fail(f"member {where}{key} has {len(items)} entries, {count} are needed")
        return items[:count]

    def version(self, obj, where):
        return self.member(obj, "cereal_class_version", "uint", where)


def _is_int(value, bounds):
    return isinstance(value, int) and not isinstance(value, bool) and bounds[0] <= value <= bounds[1]


def _read_json_root(path, what="settings file"):
    try:
        with open(path, "rb") as f:
            data = f.read()
    except FileNotFoundError:
        raise ReportError(path, "no such file") from None
    except IsADirectoryError:
        raise ReportError(path, "is a folder, not a file") from None
    except OSError as e:
        raise ReportError(path, f"cannot be read: {e.strerror or e}") from None
    if data.startswith(b"\xef\xbb\xbf"):
        data = data[3:]
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        raise ReportError(path, f"not a {what} (not UTF-8 JSON text)") from None
    try:
        root = json.loads(text)
    except (json.JSONDecodeError, RecursionError) as e:
        raise ReportError(path, f"not a {what} (JSON syntax error: {e})") from None
    if not isinstance(root, dict):
        raise ReportError(path, f"not a {what} (the JSON root is not an object)")
    if "value0" not in root:
        raise ReportError(path, f"not a {what} (no member value0)")
    return root["value0"]


_SETTINGS_MEMBERS = (
    # (key, type, first class version that writes it)
    ("samplingFrequency", "int", 0),
    ("trigger1ChStartMode", "int", 0),
    ("trigger1ChStopMode", "int", 0),
    ("trigger1ChThreshold", "int", 0),
    ("trigger2ChStartMode", "int", 0),
    ("trigger2ChStopMode", "int", 0),
    ("trigger2ChThreshold", "int", 0),
    ("triggerStartCondition", "int", 0),
    ("triggerStopCondition", "int", 0),
    ("trigger3ChMode", "int", 0),
    ("trigger3ChThreshold", "int", 0),
    ("trigger4ChEnabled", "bool", 0),
    ("splitDataSizeMB", "int", 2),
    ("enableStopDataSize", "bool", 2),
    ("stopDataSizeMB", "int", 2),
    ("enableStopElapsedTime", "bool", 2),
    ("stopElapsedTimeMS", "uint", 2),
    ("displayTriggerMode", "int", 3),
    ("displayTriggerSourceChannel", "int", 3),
    ("displayTriggerPosition", "double", 3),
    ("enableReportFileRotation", "bool", 4),
    ("reportFileRotationTimeS", "uint", 4),
)
_TRACK_MEMBERS = (
    ("name", "string", 0),
    ("backgroundColor", "string", 0),
    ("lineColor", "string", 0),
    ("probeAttenuationRatio", "int", 2),
    ("enabled", "bool", 3),
    ("verticalResolutionOffset", "double", 4),
    ("verticalScaling", "double", 5),
)
_MARKER_MEMBERS = (("enabled", "bool", 0), ("time", "int64", 0), ("color", "string", 0))
_TRIGGER_MEMBERS = (
    ("voltageLevel", "int64", 0),
    ("voltageLevelDisplayUnit", "uint8", 0),
    ("sensitivityCount", "int", 0),
    ("slope", "int", 0),
    ("edgeWidthTime", "int64", 0),
    ("edgeWidthTimeDisplayUnit", "uint8", 0),
    ("widthEdgeComparison", "int", 0),
)


def _check_members(loader, obj, members, version, where):
    return {key: loader.member(obj, key, kind, where) for key, kind, since in members if version >= since}


def load_settings(path):
    """The settings of a session file; raises ReportError where the program would refuse it."""
    path = str(path)
    loader = _Loader(path)
    s = _read_json_root(path)
    if not isinstance(s, dict):
        loader.fail("not a settings file (value0 is not an object)")
    version = loader.version(s, "value0.")
    channel_voltages = loader.fixed(s, "channelVoltages", 4, "value0.")
    for i, v in enumerate(channel_voltages):
        if not _is_int(v, _INT32):
            loader.fail(f"member value0.channelVoltages[{i}] is not an integer: {json.dumps(v)[:40]}")
    values = _check_members(loader, s, _SETTINGS_MEMBERS, version, "value0.")

    visual = loader.member(s, "visualSettings", "object", "value0.")
    visual_version = loader.version(visual, "value0.visualSettings.")
    raw_tracks = loader.member(visual, "tracks", "array", "value0.visualSettings.")
    tracks = []
    track_version = None
    for i, t in enumerate(raw_tracks):
        where = f"value0.visualSettings.tracks[{i}]."
        if track_version is None:
            track_version = loader.version(t, where)
        m = _check_members(loader, t, _TRACK_MEMBERS, track_version, where)
        tracks.append(Track(name=m["name"], probe_index=m.get("probeAttenuationRatio", 1), enabled=m.get("enabled", True)))
    markers = (Marker(), Marker())
    if visual_version >= 1:
        raw_markers = loader.fixed(visual, "markers", 2, "value0.visualSettings.")
        marker_version = loader.version(raw_markers[0], "value0.visualSettings.markers[0].")
        markers = tuple(
            Marker(**{k: v for k, v in _check_members(loader, m, _MARKER_MEMBERS, marker_version, f"value0.visualSettings.markers[{i}].").items() if k != "color"})
            for i, m in enumerate(raw_markers)
        )
    for key, kind, since in (("timeUnit", "uint8", 2), ("timeScale", "int64", 3), ("labelAreaWidth", "int", 4)):
        if visual_version >= since:
            loader.member(visual, key, kind, "value0.visualSettings.")
    if version >= 3:
        triggers = loader.fixed(s, "displayTriggerSettings", 4, "value0.")
        trigger_version = loader.version(triggers[0], "value0.displayTriggerSettings[0].")
        for i, t in enumerate(triggers):
            _check_members(loader, t, _TRIGGER_MEMBERS, trigger_version, f"value0.displayTriggerSettings[{i}].")

    settings = Settings(
        class_version=version,
        channel_voltages=tuple(channel_voltages),
        sampling_frequency_index=values["samplingFrequency"],
        tracks=tracks,
        markers=markers,
        path=path,
    )
    _check_ranges(loader, settings)
    return settings


def _check_ranges(loader, settings):
    if not 0 <= settings.sampling_frequency_index < len(SAMPLING_FREQUENCIES):
        loader.fail(f"samplingFrequency {settings.sampling_frequency_index} is not 0, 1 or 2")
    for c in range(4):
        if not 0 <= settings.channel_voltages[c] < 6:
            loader.fail(f"channelVoltages[{c}] = {settings.channel_voltages[c]} is not a range index (0 to 5)")
        probe = settings.track(c).probe_index
        if probe not in (0, 1):
            loader.fail(f"tracks[{c}].probeAttenuationRatio = {probe} is not a probe index (0 or 1)")


def load_hits(path):
    """[(dataIndex, widthNSec), ...] of a report metadata file; raises ReportError."""
    path = str(path)
    loader = _Loader(path)
    meta = _read_json_root(path, "report metadata file")
    hits = loader.member(meta, "displayTriggerList", "array", "value0.")
    out = []
    for i, hit in enumerate(hits):
        where = f"value0.displayTriggerList[{i}]."
        out.append((loader.member(hit, "dataIndex", "int64", where), loader.member(hit, "widthNSec", "int64", where)))
    return out


BOOKMARK_TEXT_MAX = 1000  # characters of a name or a note
_BOOKMARK_ID_MAX = 1_000_000_000
_BOOKMARKS_MAX = 10_000


def _bookmark_problem(entry, used_ids):
    """Why an entry of "bookmarks" is not loaded (as the program names it), or None."""
    if not isinstance(entry, dict):
        return ": not an object"
    checks = (
        ("id", lambda v: _is_int(v, (1, _BOOKMARK_ID_MAX)) and v not in used_ids),
        ("timeNSec", lambda v: _is_int(v, (0, _INT64[1]))),
        ("name", lambda v: isinstance(v, str) and len(v) <= BOOKMARK_TEXT_MAX),
        ("note", lambda v: isinstance(v, str) and len(v) <= BOOKMARK_TEXT_MAX),
        ("visible", lambda v: isinstance(v, bool)),
        ("color", lambda v: isinstance(v, str)),
    )
    for key, ok in checks:
        if key not in entry or not ok(entry[key]):
            return f".{key}: missing, of the wrong type, out of range or used twice"
    return None


def _color_text(text):
    """"#AARRGGBB" of the colour texts the program reads; None when it is not one."""
    digits = text[1:] if text.startswith("#") else None
    if digits is None or len(digits) not in (3, 4, 6, 8):
        return None
    if any(c not in "0123456789abcdefABCDEF" for c in digits):
        return None
    if len(digits) in (3, 4):
        digits = "".join(c * 2 for c in digits)
    if len(digits) == 6:
        digits = "FF" + digits
    return "#" + digits.upper()


def load_bookmarks(path):
    """The bookmarks of a report metadata file, as the program loads them: an entry that
    breaks a rule is left out with a warning naming it; raises ReportError when the file
    is no metadata file."""
    import warnings

    path = str(path)
    meta = _read_json_root(path, "report metadata file")
    if not isinstance(meta, dict) or "bookmarks" not in meta:
        return []
    entries = meta["bookmarks"]
    if not isinstance(entries, list):
        warnings.warn(f"{path}: bookmarks: not an array; no bookmark is loaded", stacklevel=3)
        return []
    out, used_ids = [], set()
    for i, entry in enumerate(entries):
        if len(out) == _BOOKMARKS_MAX:
            warnings.warn(f"{path}: bookmarks[{i}]: more than {_BOOKMARKS_MAX} bookmarks; the rest is not loaded",
                          stacklevel=3)
            break
        problem = _bookmark_problem(entry, used_ids)
        if problem:
            warnings.warn(f"{path}: bookmarks[{i}]{problem}; this bookmark is not loaded", stacklevel=3)
            continue
        color = _color_text(entry["color"])
        if color is None:
            warnings.warn(f"{path}: bookmarks[{i}].color: not a colour; the bookmark keeps the default colour",
                          stacklevel=3)
            color = "#00000000"
        used_ids.add(entry["id"])
        out.append({"id": entry["id"], "timeNSec": entry["timeNSec"], "name": entry["name"],
                    "note": entry["note"], "color": color, "visible": entry["visible"]})
    return out
