"""Per-column minimum and maximum of a recording, exact to the record, as `qvanalog envelope`.

Column c of [start, stop) ns in N columns holds the records whose time t (ns = time stamp
x 10) satisfies floor((t - start) x N / (stop - start)) = c. The records at the edges of a
column are decoded; the whole blocks between them come from the overview entries (the
coarsest that fit: 262,144, 8,192 or 64 records). A file without a valid overview, or whose
overview turns out damaged, is folded from its records.
"""

import numpy as np

from . import _format as F
from . import _overview
from ._errors import ReportError
from ._session import open_recording

MAX_COLUMNS = 100_000
_GATHER_ELEMENTS = 1 << 22  # elements gathered per step, to bound the memory used


def column_starts(start, stop, columns):
    """N + 1 times: the smallest t with floor((t - start) x N / (stop - start)) >= c, then stop."""
    width = stop - start
    return [start + -(-c * width // columns) for c in range(columns + 1)]


def ticks_at_or_after(ns):
    """The first record time (10 ns ticks) at or after `ns`: ceil(ns / 10), 0 for negative times."""
    return 0 if ns <= 0 else -(-ns // F.NS_PER_TICK)


def _check_arguments(start_ns, stop_ns, columns):
    def whole(value, what):
        if isinstance(value, bool) or not isinstance(value, (int, np.integer)):
            raise TypeError(f"{what} needs a whole number, not {value!r}")
        return int(value)

    start, stop, n = whole(start_ns, "start_ns"), whole(stop_ns, "stop_ns"), whole(columns, "columns")
    if not -(2**63) <= start < stop <= 2**63 - 1:
        raise ValueError(f"start_ns must be less than stop_ns (got {start} and {stop})")
    if not 1 <= n <= MAX_COLUMNS:
        raise ValueError(f"columns needs a whole number from 1 to {MAX_COLUMNS}, not {n}")
    return start, stop, n


# --- time search -----------------------------------------------------------------------------


def _lower_bounds(report, files, ticks, overviews=None):
    """Global index of the first stored record with time >= each tick; the total count when none.
    `overviews` (one per file, or None) narrow the search down to 64 records."""
    ranges = [report.time_range(f) for f in files]
    first_times = np.array([r[0] for r in ranges], dtype=np.uint64)
    last_times = np.array([r[1] for r in ranges], dtype=np.uint64)
    out = np.full(len(ticks), report.total_record_count, dtype=np.int64)
    holder = np.searchsorted(last_times, ticks, side="left")  # first file reaching the tick
    for j, f in enumerate(files):
        sel = np.nonzero(holder == j)[0]
        if sel.size == 0:
            continue
        at_start = ticks[sel] <= first_times[j]
        out[sel[at_start]] = f.first_index
        inner = sel[~at_start]
        if inner.size:
            local = None
            if overviews is not None and overviews[j] is not None:
                local = _search_blocks(f, overviews[j], ticks[inner])
            out[inner] = f.first_index + (local if local is not None else _bisect(f, ticks[inner]))
    return out


def _search_blocks(data_file, overview, ticks):
    """As _bisect, through the overview's block times: the level-1 block (8,192 records), then
    the level-0 block (64) that starts before each tick, then its records. None when the
    overview turns out damaged."""
    n0 = overview.counts[0]
    per_group = F.OVW_LEVEL0_PER_GROUP
    level1 = np.searchsorted(overview.level1["time"], ticks, side="left") - 1  # starts before the tick
    entries = level1[:, None] * per_group + np.arange(per_group)[None, :]
    valid = entries < n0
    entries = np.where(valid, entries, n0 - 1)
    if not overview.check_level0(entries[:, 0]):
        return None
    earlier = (overview.level0["time"][entries] < ticks[:, None]) & valid
    count = earlier.sum(axis=1)
    if (count == 0).any():  # the levels disagree: not an overview of this file
        return None
    block = entries[:, 0] + count - 1  # the last level-0 block starting before the tick
    records = block[:, None] * F.OVW_BLOCK_RECORDS[0] + np.arange(F.OVW_BLOCK_RECORDS[0])[None, :]
    inside = records < data_file.record_count
    stamps = data_file.records()["stamp"][np.where(inside, records, 0)] & np.uint64(F.TIME_MASK)
    return block * F.OVW_BLOCK_RECORDS[0] + ((stamps < ticks[:, None]) & inside).sum(axis=1)


def _bisect(data_file, ticks):
    """Per tick the first record of the file with time >= tick, where record 0 is earlier
    and the last record is not: a bisection of all ticks at once over the mapped stamps."""
    stamps = data_file.records()["stamp"]
    mask = np.uint64(F.TIME_MASK)
    lo = np.ones(len(ticks), dtype=np.int64)
    hi = np.full(len(ticks), data_file.record_count - 1, dtype=np.int64)
    while True:
        active = lo < hi
        if not active.any():
            return lo
        mid = (lo + hi) // 2
        earlier = (stamps[mid] & mask) < ticks
        lo = np.where(active & earlier, mid + 1, lo)
        hi = np.where(active & ~earlier, mid, hi)


# --- folding ---------------------------------------------------------------------------------


class _Accumulator:
    def __init__(self, n):
        self.min = np.full((n, 4), np.iinfo(np.uint16).max, dtype=np.uint16)
        self.max = np.zeros((n, 4), dtype=np.uint16)

    def merge(self, columns, mins, maxs):
        self.min[columns] = np.minimum(self.min[columns], mins)
        self.max[columns] = np.maximum(self.max[columns], maxs)


def _gather_fold(values_min, values_max, starts, ends, columns, acc, check=None):
    """Folds values[starts[i]:ends[i]] into column columns[i] (one range per column). The
    values are u64 words holding the four u16 channel values (one load per element).
    `check(indexes)` vets the entries before they are used; False ends the fold (False)."""
    lengths = ends - starts
    keep = lengths > 0
    starts, lengths, columns = starts[keep], lengths[keep], columns[keep]
    begin = 0
    while begin < len(starts):
        # As many ranges as fit in one gather step (at least one).
        total = np.cumsum(lengths[begin:])
        end = begin + max(1, int(np.searchsorted(total, _GATHER_ELEMENTS, side="right")))
        s, n = starts[begin:end], lengths[begin:end]
        offsets = np.cumsum(n) - n
        flat = np.arange(int(n.sum()), dtype=np.int64) - np.repeat(offsets - s, n)
        if check is not None and not check(flat):
            return False
        mins = np.minimum.reduceat(_channels(values_min[flat]), offsets, axis=0)
        maxs = np.maximum.reduceat(_channels(values_max[flat]), offsets, axis=0)
        acc.merge(columns[begin:end], mins, maxs)
        begin = end
    return True


def _channels(words):
    """(n, 4) u16 channel values of n u64 words (little-endian: CH1 in the low bits)."""
    return words.astype("<u8", copy=False).view("<u2").reshape(-1, 4)


def _samples(data_file):
    """The (records, 4) raw samples of a file, a strided read-only view of its memmap."""
    mm = data_file.records()
    return np.ndarray((data_file.record_count, 4), dtype="<u2", buffer=mm, offset=8, strides=(F.RECORD_SIZE, 2))


def _sample_words(data_file):
    """The samples of each record as one u64 word (the record's second), a strided view."""
    mm = data_file.records()
    return np.ndarray((data_file.record_count,), dtype="<u8", buffer=mm, offset=8, strides=(F.RECORD_SIZE,))


def _entry_words(level, field_offset):
    """The u64 word at `field_offset` (8: the minima, 16: the maxima) of each entry of a level."""
    return np.ndarray((len(level),), dtype="<u8", buffer=level, offset=field_offset, strides=(F.OVW_ENTRY_SIZE,))


def _fold_records(data_file, a, b, columns, acc):
    """Folds local record ranges [a, b) (contiguous, in order) by reading the records."""
    samples = _samples(data_file)[a[0] : b[-1]]
    offsets = a - a[0]
    acc.merge(columns, np.minimum.reduceat(samples, offsets, axis=0), np.maximum.reduceat(samples, offsets, axis=0))


def _ceil_div(x, d):
    return -(-x // d)


def _fold_overview(data_file, overview, a, b, columns, acc):
    """Folds local record ranges [a, b) with the overview for their whole blocks. False when
    the overview turns out damaged (nothing is merged then)."""
    count = data_file.record_count
    nb0, nb1, nb2 = overview.counts
    r0, r1, r2 = F.OVW_BLOCK_RECORDS[0], F.OVW_LEVEL0_PER_GROUP, F.OVW_LEVEL1_PER_LEVEL2
    # Whole level-0 blocks [B0, B1); the last, short block of the file counts as whole.
    B0 = _ceil_div(a, r0)
    B1 = np.where(b == count, nb0, b // r0)
    blocks = B0 < B1
    C0 = _ceil_div(B0, r1)
    C1 = np.where(B1 == nb0, nb1, B1 // r1)
    level1 = blocks & (C0 < C1)
    D0 = _ceil_div(C0, r2)
    D1 = np.where(C1 == nb1, nb2, C1 // r2)
    level2 = level1 & (D0 < D1)

    local = _Accumulator(len(columns))
    idx = np.arange(len(columns))
    zero = np.zeros_like(a)

    def pieces(where, lo, hi):
        return np.where(where, lo, zero), np.where(where, hi, zero)

    level0 = (_entry_words(overview.level0, 8), _entry_words(overview.level0, 16))
    steps = [
        # records: the whole range without blocks, else the part before and after them
        ("records", *pieces(~blocks, a, b)),
        ("records", *pieces(blocks, a, np.minimum(B0 * r0, b))),
        ("records", *pieces(blocks, np.minimum(B1 * r0, b), b)),
        ("level0", *pieces(blocks & ~level1, B0, B1)),
        ("level0", *pieces(level1, B0, np.minimum(C0 * r1, B1))),
        ("level0", *pieces(level1, np.minimum(C1 * r1, B1), B1)),
        ("level1", *pieces(level1 & ~level2, C0, C1)),
        ("level1", *pieces(level2, C0, np.minimum(D0 * r2, C1))),
        ("level1", *pieces(level2, np.minimum(D1 * r2, C1), C1)),
        ("level2", *pieces(level2, D0, D1)),
    ]
    samples = None
    for kind, lo, hi in steps:
        if kind == "records":
            if samples is None:
                samples = _sample_words(data_file)
            _gather_fold(samples, samples, lo, hi, idx, local)
        elif kind == "level0":
            if not _gather_fold(*level0, lo, hi, idx, local, check=overview.check_level0):
                return False
        else:
            level = overview.level1 if kind == "level1" else overview.level2
            _gather_fold(_entry_words(level, 8), _entry_words(level, 16), lo, hi, idx, local)
    acc.merge(columns, local.min, local.max)
    return True


def _fold(files, overviews, r, acc):
    """Folds every column's records [r[c], r[c + 1]) file by file."""
    for f, overview in zip(files, overviews):
        s = np.clip(r - f.first_index, 0, f.record_count)
        a, b = s[:-1], s[1:]
        sel = np.nonzero(a < b)[0]
        if sel.size == 0:
            continue
        if overview is None or not _fold_overview(f, overview, a[sel], b[sel], sel, acc):
            _fold_records(f, a[sel], b[sel], sel, acc)


def _reached_files(report, files, ticks):
    """The files that hold records of [first tick, last tick]: only their overviews are checked."""
    lo, hi = int(ticks[0]), int(ticks[-1])
    out = []
    for f in files:
        first, last = report.time_range(f)
        out.append(last >= lo and first < hi)
    return out


def _masked(values, empty):
    return np.ma.masked_array(values, mask=empty.copy())


def envelope(path, start_ns, stop_ns, columns):
    start, stop, n = _check_arguments(start_ns, stop_ns, columns)
    report = open_recording(path).report
    files = report.stored_files
    first = np.zeros(n, dtype=np.int64)
    last = np.zeros(n, dtype=np.int64)
    acc = _Accumulator(n)
    empty = np.ones(n, dtype=bool)
    if files:
        starts = column_starts(start, stop, n)
        ticks = np.array([ticks_at_or_after(t) for t in starts], dtype=np.uint64)
        reached = _reached_files(report, files, ticks)
        found = iter(_overview.find_all([f for f, use in zip(files, reached) if use]))
        overviews = [next(found) if use else None for use in reached]
        r = _lower_bounds(report, files, ticks, overviews)
        r0, r1 = r[:-1], r[1:]
        empty = r0 >= r1
        first = np.where(empty, 0, r0)
        # The last stored record before r1 (a file holding r1 - 1, else the end of the one before).
        file_starts = np.array([f.first_index for f in files], dtype=np.int64)
        file_ends = np.array([f.end_index for f in files], dtype=np.int64)
        holder = np.clip(np.searchsorted(file_starts, r1 - 1, side="right") - 1, 0, len(files) - 1)
        last = np.where(empty, 0, np.minimum(r1 - 1, file_ends[holder] - 1))
        _fold(files, overviews, r, acc)
    mins = np.minimum(acc.min, F.SAMPLE_MAX)
    maxs = np.minimum(acc.max, F.SAMPLE_MAX)
    return {
        "columns": n,
        "from": start,
        "to": stop,
        "first": _masked(first, empty),
        "last": _masked(last, empty),
        "channels": [{"min": _masked(mins[:, c].copy(), empty), "max": _masked(maxs[:, c].copy(), empty)} for c in range(4)],
    }


__all__ = ["envelope", "ReportError"]
