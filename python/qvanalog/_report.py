"""The ".DAT" files of one report folder, checked as the program's reader checks them.

Opening reads the 512-byte header of each file and its size, nothing else. Records are
reached later through numpy.memmap views (read-only), file by file.
"""

import os
import stat
from dataclasses import dataclass, field

import numpy as np

from . import _format as F
from ._errors import ReportError


@dataclass(frozen=True)
class DataFile:
    """One existing ".DAT" file of a report, as found when the report was opened."""

    number: int  # file number: record r has the global index number x 2^25 + r
    path: str
    size: int  # bytes when opened
    mtime_ns: int
    record_count: int  # whole records when opened
    torn_bytes: int  # bytes after the last whole record (a write cut short), never read

    @property
    def first_index(self):
        return self.number * F.RECORDS_PER_FILE

    @property
    def end_index(self):
        return self.first_index + self.record_count

    def records(self, first=0, count=None):
        """A read-only memmap of records [first, first + count) of this file."""
        if count is None:
            count = self.record_count - first
        return map_records(self.path, first, count)


@dataclass
class Report:
    folder: str
    files: list  # DataFile, in number order, without placeholders
    header: bytes  # the first existing file's header
    first_file_number: int
    total_record_count: int  # the index range [0, total), placeholders included
    _times: dict = field(default_factory=dict, repr=False)

    @property
    def first_index(self):
        """Global index of the first stored record (the first existing file's first)."""
        return self.first_file_number * F.RECORDS_PER_FILE

    @property
    def stored_files(self):
        """The files that hold records."""
        return [f for f in self.files if f.record_count > 0]

    @property
    def stored_record_count(self):
        return sum(f.record_count for f in self.files)

    @property
    def start_seconds(self):
        return int.from_bytes(self.header[F.OFFSET_START_SECONDS : F.OFFSET_START_SECONDS + 8], "little", signed=True)

    @property
    def start_nanoseconds(self):
        # The low 32 bits of the field at 64, as a signed 32-bit value.
        return int.from_bytes(self.header[F.OFFSET_START_NANOSECONDS : F.OFFSET_START_NANOSECONDS + 4], "little", signed=True)

    @property
    def start_time_ns(self):
        return self.start_seconds * 1_000_000_000 + self.start_nanoseconds

    def time_range(self, data_file):
        """Time stamps (10 ns ticks) of the first and last record of a file with records."""
        key = data_file.number
        if key not in self._times:
            mm = data_file.records()
            self._times[key] = (
                int(mm["stamp"][0]) & F.TIME_MASK,
                int(mm["stamp"][data_file.record_count - 1]) & F.TIME_MASK,
            )
        return self._times[key]


def map_records(path, first, count):
    """Read-only memmap of `count` records from record `first` of the file `path`."""
    if count <= 0:
        return np.zeros(0, dtype=F.RECORD_DTYPE)
    try:
        return np.memmap(path, dtype=F.RECORD_DTYPE, mode="r", offset=F.HEADER_SIZE + first * F.RECORD_SIZE, shape=(count,))
    except FileNotFoundError:
        raise ReportError(path, "the file was removed after the report was opened (rotated out?)") from None
    except ValueError:
        raise ReportError(path, "the file is shorter than when the report was opened") from None
    except OSError as e:
        raise ReportError(path, f"cannot be read: {e.strerror or e}") from None


def is_report_file_name(name):
    """True for "*.DAT", the extension in any case, as the program's reader takes them."""
    return len(name) >= 4 and name[-4] == "." and name[-3:].upper() == "DAT"


def parse_file_number(name):
    """The leading decimal digits of the name without its extension; None when there are none."""
    digits = ""
    for c in name[:-4]:
        if not "0" <= c <= "9":
            break
        digits += c
        if int(digits) > F.MAX_FILE_NUMBER:
            return None
    return int(digits) if digits else None


def read_regular_file_head(path, size):
    """(stat, first `size` bytes) of a regular file. Never blocks on a FIFO or device."""
    try:
        fd = os.open(path, os.O_RDONLY | os.O_NONBLOCK | os.O_CLOEXEC)
    except FileNotFoundError:
        raise ReportError(path, "no such file") from None
    except OSError as e:
        raise ReportError(path, f"cannot be opened: {e.strerror or e}") from None
    try:
        st = os.fstat(fd)
        if not stat.S_ISREG(st.st_mode):
            raise ReportError(path, "not a regular file")
        return st, os.pread(fd, size, 0) if size else b""
    except OSError as e:
        raise ReportError(path, f"cannot be read: {e.strerror or e}") from None
    finally:
        os.close(fd)


def _list_report_files(folder):
    try:
        names = os.listdir(folder)
    except FileNotFoundError:
        raise ReportError(folder, "no such file or folder") from None
    except NotADirectoryError:
        raise ReportError(folder, "not a folder") from None
    except OSError as e:
        raise ReportError(folder, f"cannot be listed: {e.strerror or e}") from None
    out = []
    for name in names:
        if not is_report_file_name(name):
            continue
        path = os.path.join(folder, name)
        if os.path.isdir(path):
            continue
        number = parse_file_number(name)
        if number is None:
            raise ReportError(path, "not a report data file name (it must start with the file number, as 00000000.DAT)")
        out.append((number, path))
    if not out:
        raise ReportError(folder, "no report data files (*.DAT) in this folder")
    out.sort()
    for (n0, p0), (n1, p1) in zip(out, out[1:]):
        if n0 == n1:
            raise ReportError(folder, f"{os.path.basename(p0)} and {os.path.basename(p1)} have the same file number {n0}")
    return out


def _check_header(path, header, first):
    if len(header) < F.HEADER_SIZE:
        raise ReportError(path, f"the header is shorter than {F.HEADER_SIZE} bytes ({len(header)} bytes): not a report data file")
    if header[: len(F.MAGIC)] != F.MAGIC:
        raise ReportError(path, f"wrong magic {header[:len(F.MAGIC)]!r} (expected {F.MAGIC!r}): not a report data file")
    report_format = F.le_u32(header, F.OFFSET_REPORT_FORMAT)
    if first and report_format != F.REPORT_FORMAT_ANALOG:
        raise ReportError(path, f"report format {report_format} is not the analog format {F.REPORT_FORMAT_ANALOG}")


def open_report(folder):
    """Checks the report in `folder` and describes its files; raises ReportError."""
    folder = os.fspath(folder)
    numbered = _list_report_files(folder)
    files = []
    header = None
    for i, (number, path) in enumerate(numbered):
        st, head = read_regular_file_head(path, F.HEADER_SIZE)
        last = i == len(numbered) - 1
        if st.st_size < F.HEADER_SIZE and last and files and files[-1].record_count == F.RECORDS_PER_FILE and files[-1].number == number - 1:
            # The writer has just created the next file of a report still being written
            # and not yet written its header: it holds no records yet.
            files.append(DataFile(number, path, st.st_size, st.st_mtime_ns, 0, 0))
            continue
        _check_header(path, head, first=i == 0)
        if header is None:
            header = head
        records, torn = divmod(st.st_size - F.HEADER_SIZE, F.RECORD_SIZE)
        if not last and records > F.RECORDS_PER_FILE:
            raise ReportError(path, f"holds {records} records, more than a report file's {F.RECORDS_PER_FILE}")
        files.append(DataFile(number, path, st.st_size, st.st_mtime_ns, records, torn))
    for prev, cur in zip(files, files[1:]):
        if cur.number != prev.number + 1:
            missing = f"{prev.number + 1:08d}.DAT"
            raise ReportError(folder, f"file number {prev.number + 1} ({missing}) is missing after the first file: "
                                      "rotation removes only the oldest files, so the report is damaged")
    # The index range ends with the last file that holds records (empty files at the end
    # add no indexes).
    with_records = [f for f in files if f.record_count > 0]
    end = with_records[-1] if with_records else files[0]
    total = end.first_index + end.record_count
    return Report(folder=folder, files=files, header=header, first_file_number=files[0].number, total_record_count=total)
