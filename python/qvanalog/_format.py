"""Byte layouts of the recording files, as the program writes them (all little-endian).

Report data files (".DAT"): a 512-byte header, then 16-byte records. Overview files
(".OVW"): a 128-byte header, then 88-byte entries at three block sizes. docs/file-format.md
describes both in full.
"""

import numpy as np

# --- report data files ---------------------------------------------------------------
HEADER_SIZE = 512
RECORD_SIZE = 16
MAGIC = b"QMRS-QV-DATA.   "  # 16 bytes at offset 0, no terminator
OFFSET_REPORT_FORMAT = 32  # u32, the record layout
OFFSET_START_SECONDS = 48  # i64, seconds since 1970-01-01 UTC
OFFSET_START_NANOSECONDS = 64  # i64 field, the low 32 bits are read (0..999,999,999)
REPORT_FORMAT_ANALOG = 6
RECORDS_PER_FILE = 1 << 25  # 33,554,432: every file but the last is full
TIME_MASK = (1 << 48) - 1  # the time stamp is the low 48 bits of the first u64, 10 ns ticks
NS_PER_TICK = 10
SAMPLE_MAX = 16383  # raw codes of 0x4000 and above are taken as 0x3FFF
CHANNELS = ("ch1", "ch2", "ch3", "ch4")
# File numbers above this cannot belong to a report (2^20 files of 2^25 records outlast
# the 48-bit clock at the fastest sampling).
MAX_FILE_NUMBER = (1 << 20) - 1

RECORD_DTYPE = np.dtype(
    [("stamp", "<u8"), ("ch1", "<u2"), ("ch2", "<u2"), ("ch3", "<u2"), ("ch4", "<u2")]
)
assert RECORD_DTYPE.itemsize == RECORD_SIZE

# --- overview files --------------------------------------------------------------------
OVW_MAGIC = b"QVOVERVW"
OVW_VERSION = 1
OVW_HEADER_SIZE = 128
OVW_ENTRY_SIZE = 88
OVW_BLOCK_RECORDS = (64, 8192, 262144)
OVW_LEVEL0_PER_GROUP = OVW_BLOCK_RECORDS[1] // OVW_BLOCK_RECORDS[0]  # 128
OVW_LEVEL1_PER_LEVEL2 = OVW_BLOCK_RECORDS[2] // OVW_BLOCK_RECORDS[1]  # 32
OVW_CHECKSUMMED_HEADER = 112
OVW_ENTRY_DTYPE = np.dtype(
    [
        ("time", "<u8"),
        ("min", "<u2", (4,)),
        ("max", "<u2", (4,)),
        ("sum", "<u8", (4,)),
        ("sum_sq", "<u8", (4,)),
    ]
)
assert OVW_ENTRY_DTYPE.itemsize == OVW_ENTRY_SIZE

FNV_SEED = 0xCBF29CE484222325
FNV_PRIME = 0x100000001B3
U64 = (1 << 64) - 1


def le_u32(data, offset):
    return int.from_bytes(data[offset : offset + 4], "little")


def le_u64(data, offset):
    return int.from_bytes(data[offset : offset + 8], "little")


def fnv1a_words(data, seed=FNV_SEED):
    """64-bit FNV-1a over the little-endian u64 words of `data` (bytes), continued from `seed`."""
    h = seed
    for word in np.frombuffer(data, dtype="<u8", count=len(data) // 8).tolist():
        h = ((h ^ word) * FNV_PRIME) & U64
    return h


def fnv1a_rows(words, seeds=None):
    """FNV-1a of every row of the u64 matrix `words` (rows x words) at once."""
    rows = words.shape[0]
    h = np.full(rows, FNV_SEED, dtype=np.uint64) if seeds is None else np.array(seeds, dtype=np.uint64)
    prime = np.uint64(FNV_PRIME)
    # Column by column: each step is one vector operation over all rows (uint64 wraps).
    columns = np.ascontiguousarray(words.T)
    for column in columns:
        np.bitwise_xor(h, column, out=h)
        np.multiply(h, prime, out=h)
    return h
