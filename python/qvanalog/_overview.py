"""The overview (".OVW") of a report data file, checked as the program checks it.

An overview lives beside the report folder ("repo.overview/00000003.OVW" for
"repo/00000003.DAT"), else in the cache folder ($XDG_CACHE_HOME or ~/.cache, then
"qmrs/QV+Analog/overview/<FNV-1a of the report folder's absolute path>/"). It is used
only when its magic, version, layout, the data file's current size and record count and
its header checksum match; its level-0 entries are checked one level-1 group at a time,
when first used. Anything else is "not valid", and the caller reads the records instead.
Nothing is ever written.
"""

import os
import threading

import numpy as np

from . import _format as F

_cache = {}  # (path, size, mtime_ns, data size) -> Overview; the checks are done once


def cache_root():
    xdg = os.environ.get("XDG_CACHE_HOME")
    if xdg:
        return os.path.join(xdg, "qmrs", "QV+Analog")
    home = os.environ.get("HOME") or "/tmp"
    return os.path.join(home, ".cache", "qmrs", "QV+Analog")


def _normal_folder(folder):
    return os.path.normpath(os.path.abspath(folder))


def sibling_path(data_path):
    folder = _normal_folder(os.path.dirname(data_path) or ".")
    stem = os.path.splitext(os.path.basename(data_path))[0]
    return os.path.join(os.path.dirname(folder), os.path.basename(folder) + ".overview", stem + ".OVW")


def cache_path(data_path):
    folder = _normal_folder(os.path.dirname(data_path) or ".")
    h = F.FNV_SEED
    for byte in os.fsencode(folder):
        h = ((h ^ byte) * F.FNV_PRIME) & F.U64
    stem = os.path.splitext(os.path.basename(data_path))[0]
    return os.path.join(cache_root(), "overview", f"{h:016x}", stem + ".OVW")


def level_counts(records):
    return tuple(-(-records // b) for b in F.OVW_BLOCK_RECORDS)


class Overview:
    """A valid overview: level entries as read-only memmaps, level-0 groups checked lazily."""

    def __init__(self, path, records, counts, tail_offset, group_checksums, mm):
        self.path = path
        self.records = records
        self.counts = counts
        self._mm = mm
        self.level0 = self._level(F.OVW_HEADER_SIZE, counts[0])
        level1_offset = tail_offset + counts[1] * 8
        self.level1 = self._level(level1_offset, counts[1])
        self.level2 = self._level(level1_offset + counts[1] * F.OVW_ENTRY_SIZE, counts[2])
        self._group_checksums = group_checksums
        self._checked = np.zeros(counts[1], dtype=bool)
        self._lock = threading.Lock()  # the overview may be shared by threads (the cache)
        self.damaged = False

    def _level(self, offset, count):
        return np.ndarray((count,), dtype=F.OVW_ENTRY_DTYPE, buffer=self._mm, offset=offset)

    def check_level0(self, entries):
        """True when the level-0 groups holding `entries` (indexes) pass their checksums."""
        with self._lock:
            return self._check_level0(entries)

    def _check_level0(self, entries):
        if self.damaged:
            return False
        groups = np.unique(np.asarray(entries, dtype=np.int64) // F.OVW_LEVEL0_PER_GROUP)
        groups = groups[~self._checked[groups]]
        if groups.size == 0:
            return True
        words_per_group = F.OVW_LEVEL0_PER_GROUP * F.OVW_ENTRY_SIZE // 8
        words = np.frombuffer(self._mm, dtype="<u8", count=self.counts[0] * F.OVW_ENTRY_SIZE // 8, offset=F.OVW_HEADER_SIZE)
        full_groups = self.counts[0] // F.OVW_LEVEL0_PER_GROUP
        full = groups[groups < full_groups]
        if full.size:
            rows = words[: full_groups * words_per_group].reshape(full_groups, words_per_group)[full]
            if not np.array_equal(F.fnv1a_rows(rows), self._group_checksums[full]):
                self.damaged = True
                return False
        for g in groups[groups >= full_groups]:
            # The last group of the file is short: checked on its own.
            first = int(g) * words_per_group
            n = (self.counts[0] - int(g) * F.OVW_LEVEL0_PER_GROUP) * F.OVW_ENTRY_SIZE // 8
            if F.fnv1a_words(words[first : first + n].tobytes()) != int(self._group_checksums[g]):
                self.damaged = True
                return False
        self._checked[groups] = True
        return True


def _precheck(path, data_size, records):
    """(header, tail bytes, counts, tail offset, file size) of an overview whose header and
    layout match a data file of `data_size` bytes; None otherwise."""
    try:
        size = os.stat(path).st_size
    except OSError:
        return None
    counts = level_counts(records)
    tail_offset = F.OVW_HEADER_SIZE + counts[0] * F.OVW_ENTRY_SIZE
    file_size = tail_offset + counts[1] * 8 + (counts[1] + counts[2]) * F.OVW_ENTRY_SIZE
    if size != file_size:
        return None
    try:
        with open(path, "rb") as f:
            h = f.read(F.OVW_HEADER_SIZE)
            if (
                len(h) != F.OVW_HEADER_SIZE
                or h[:8] != F.OVW_MAGIC
                or F.le_u32(h, 8) != F.OVW_VERSION
                or F.le_u32(h, 12) != F.OVW_HEADER_SIZE
                or F.le_u32(h, 48) != 3
                or F.le_u32(h, 52) != F.OVW_ENTRY_SIZE
                or tuple(F.le_u32(h, 56 + 4 * i) for i in range(3)) != F.OVW_BLOCK_RECORDS
                or F.le_u64(h, 16) != data_size
                or F.le_u64(h, 24) != records
                or tuple(F.le_u64(h, 72 + 8 * i) for i in range(3)) != counts
                or F.le_u64(h, 96) != tail_offset
                or F.le_u64(h, 104) != file_size
            ):
                return None
            f.seek(tail_offset)
            tail = f.read(file_size - tail_offset)
    except OSError:
        return None
    if len(tail) != file_size - tail_offset:
        return None
    return h, tail, counts, tail_offset, file_size


def _header_checksums(prechecked):
    """The header checksum of each prechecked overview: the header's first 112 bytes, then
    everything from the group checksums on. Overviews with tails of one length are
    summed together, one vector operation per word."""
    sums = [None] * len(prechecked)
    by_length = {}
    for i, (h, tail, *_rest) in enumerate(prechecked):
        by_length.setdefault(len(tail), []).append(i)
    for length, members in by_length.items():
        seeds = [F.fnv1a_words(prechecked[i][0][: F.OVW_CHECKSUMMED_HEADER]) for i in members]
        if len(members) < 16:  # below that, one loop per overview is the faster
            for i, seed in zip(members, seeds):
                sums[i] = F.fnv1a_words(prechecked[i][1], seed)
            continue
        rows = np.stack([np.frombuffer(prechecked[i][1], dtype="<u8") for i in members])
        for i, value in zip(members, F.fnv1a_rows(rows, seeds).tolist()):
            sums[i] = value
    return sums


def _open_batch(candidates):
    """Valid Overviews (or None) for [(overview path, data file size, records)]."""
    out = [None] * len(candidates)
    pending = []
    for i, (path, data_size, records) in enumerate(candidates):
        try:
            st = os.stat(path)
        except OSError:
            continue
        key = (path, st.st_size, st.st_mtime_ns, data_size)
        if key in _cache:
            out[i] = _cache[key]
            continue
        pre = _precheck(path, data_size, records)
        if pre is not None:
            pending.append((i, key, pre))
    sums = _header_checksums([pre for _, _, pre in pending])
    for (i, key, (h, tail, counts, tail_offset, file_size)), checksum in zip(pending, sums):
        if checksum != F.le_u64(h, 112):
            continue
        path, records = candidates[i][0], candidates[i][2]
        group_checksums = np.frombuffer(tail, dtype="<u8", count=counts[1]).copy()
        try:
            mm = np.memmap(path, dtype=np.uint8, mode="r", shape=(file_size,))
        except (OSError, ValueError):
            continue
        out[i] = _cache[key] = Overview(path, records, counts, tail_offset, group_checksums, mm)
    return out


def find_all(data_files):
    """The valid overview of each report DataFile with records (beside the report, else in
    the cache folder), or None where there is none."""
    found = _open_batch([(sibling_path(f.path), f.size, f.record_count) for f in data_files])
    missing = [i for i, o in enumerate(found) if o is None or o.damaged]
    cached = _open_batch([(cache_path(data_files[i].path), data_files[i].size, data_files[i].record_count) for i in missing])
    for i, o in zip(missing, cached):
        found[i] = o if o is not None and not o.damaged else None
    return found
