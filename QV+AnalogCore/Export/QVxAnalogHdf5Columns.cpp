#include "QV+AnalogCore/Export/QVxAnalogHdf5Columns.h"

#include "QV+AnalogCore/Export/QVxAnalogHdf5Writer.h"
#include "QVxCore/ReportData/RecordCodec.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

constexpr std::size_t kTimeBytes = sizeof(std::int64_t);
constexpr std::size_t kCodeBytes = sizeof(std::uint16_t);

// HDF5's shuffle filter: byte j of element i goes to position j x count + i, so equal high
// bytes of neighbouring values sit together and deflate better.
void Shuffle(const std::uint8_t* in, std::size_t elementSize, std::size_t count, std::uint8_t* out) {
    for (std::size_t j = 0; j < elementSize; ++j) {
        std::uint8_t* plane = out + j * count;
        const std::uint8_t* from = in + j;
        for (std::size_t i = 0; i < count; ++i) plane[i] = from[i * elementSize];
    }
}

}  // namespace

// One chunk: its columns and the bytes each dataset stores.
struct QVxAnalogHdf5Columns::Job {
    std::uint64_t firstRecord = 0;  // the export's record index of the chunk's first record
    std::uint64_t count = 0;        // records decoded (the chunk's size except for the last)
    std::vector<std::int64_t> time;
    std::array<std::vector<std::uint16_t>, 4> codes;
    // Compressing only: the datasets' bytes one after another. It starts at half the values'
    // size and grows when a chunk compresses worse, and keeps its size for the next chunk.
    std::vector<std::uint8_t> compressed;
    std::array<QVxAnalogHdf5Writer::ChunkBytes, QVxAnalogHdf5Writer::kDatasetCount> stored{};

    explicit Job(std::uint64_t chunkRecords) : time(chunkRecords) {
        for (auto& column : codes) column.resize(chunkRecords);
    }

    // Caller's thread: the next `n` records into the columns.
    void Decode(const std::uint8_t* records, std::uint64_t n, std::size_t timeWord);
    // Caller's thread: zeros after the last record of a short chunk, which is stored whole
    // (the part past the dataset's end is never read), and the values as they are stored
    // without compression.
    void Complete();
    // Worker thread: shuffles and deflates every column.
    void Compress(int level);

private:
    // Shuffles and deflates one column at `at` in `compressed`; returns its size.
    std::size_t Deflate(const void* values, std::size_t elementSize, int level, std::size_t at);
};

void QVxAnalogHdf5Columns::Job::Decode(const std::uint8_t* records, std::uint64_t n, std::size_t timeWord) {
    std::int64_t* times = time.data() + count;
    std::uint16_t* values[4] = {codes[0].data() + count, codes[1].data() + count, codes[2].data() + count,
                                codes[3].data() + count};
    for (std::uint64_t i = 0; i < n; ++i, records += qvx::kReportRecordSize) {
        times[i] = qvx::RecordTimeNs(records, timeWord);
        for (std::size_t c = 0; c < qvx::kRecordChannelCount; ++c)
            values[c][i] = qvx::LimitedSample(qvx::RecordRawSample(records, c));
    }
    count += n;
}

void QVxAnalogHdf5Columns::Job::Complete() {
    std::fill(time.begin() + static_cast<std::ptrdiff_t>(count), time.end(), 0);
    for (auto& column : codes)
        std::fill(column.begin() + static_cast<std::ptrdiff_t>(count), column.end(), 0);
    stored[0] = {time.data(), time.size() * kTimeBytes};
    for (std::size_t c = 0; c < codes.size(); ++c)
        stored[c + 1] = {codes[c].data(), codes[c].size() * kCodeBytes};
}

std::size_t QVxAnalogHdf5Columns::Job::Deflate(const void* values, std::size_t elementSize, int level,
                                               std::size_t at) {
    const std::size_t bytes = elementSize * time.size();
    // One shuffle buffer per worker, not per chunk in flight.
    thread_local std::vector<std::uint8_t> shuffled;
    if (shuffled.size() < bytes) shuffled.resize(bytes);
    Shuffle(static_cast<const std::uint8_t*>(values), elementSize, time.size(), shuffled.data());
    for (;;) {
        uLongf size = static_cast<uLongf>(compressed.size() - at);
        const int result =
            compress2(compressed.data() + at, &size, shuffled.data(), static_cast<uLong>(bytes), level);
        if (result == Z_OK) return static_cast<std::size_t>(size);
        if (result != Z_BUF_ERROR || compressed.size() - at >= compressBound(static_cast<uLong>(bytes)))
            throw std::runtime_error("deflate failed");
        compressed.resize(at + compressBound(static_cast<uLong>(bytes)));
    }
}

void QVxAnalogHdf5Columns::Job::Compress(int level) {
    const std::size_t n = time.size();
    if (compressed.empty()) compressed.resize(n * (kTimeBytes + codes.size() * kCodeBytes) / 2);
    std::array<std::size_t, QVxAnalogHdf5Writer::kDatasetCount> offsets{};
    std::array<std::size_t, QVxAnalogHdf5Writer::kDatasetCount> sizes{};
    std::size_t at = 0;
    for (std::size_t d = 0; d < offsets.size(); ++d) {
        offsets[d] = at;
        sizes[d] = d == 0 ? Deflate(time.data(), kTimeBytes, level, at)
                          : Deflate(codes[d - 1].data(), kCodeBytes, level, at);
        at += sizes[d];
    }
    // The buffer may have grown on the way: the pointers are taken at the end.
    for (std::size_t d = 0; d < offsets.size(); ++d) stored[d] = {compressed.data() + offsets[d], sizes[d]};
}

QVxAnalogHdf5Columns::QVxAnalogHdf5Columns(QVxAnalogHdf5Writer& writer, std::uint64_t chunkRecords,
                                           int deflateLevel, std::int32_t timeWordIndex)
    : m_writer(writer),
      m_chunkRecords(std::max<std::uint64_t>(1, chunkRecords)),
      m_deflateLevel(deflateLevel),
      m_timeWord(static_cast<std::size_t>(timeWordIndex)) {
    if (m_deflateLevel > 0) m_workers = std::make_unique<QVxOrderedWorkers>();
}

QVxAnalogHdf5Columns::~QVxAnalogHdf5Columns() {
    WaitForWrite();
    m_workers.reset();  // no task may run on the jobs while they go
}

std::unique_ptr<QVxAnalogHdf5Columns::Job> QVxAnalogHdf5Columns::TakeFreeJob() {
    std::unique_ptr<Job> job;
    if (m_free.empty()) {
        job = std::make_unique<Job>(m_chunkRecords);
    } else {
        job = std::move(m_free.back());
        m_free.pop_back();
    }
    job->firstRecord = m_nextRecord;
    job->count = 0;
    return job;
}

bool QVxAnalogHdf5Columns::Add(const std::uint8_t* records, std::uint64_t count) {
    while (count > 0 && !m_failed) {
        if (!m_filling) m_filling = TakeFreeJob();
        const std::uint64_t n = std::min(count, m_chunkRecords - m_filling->count);
        m_filling->Decode(records, n, m_timeWord);
        records += n * qvx::kReportRecordSize;
        count -= n;
        if (m_filling->count == m_chunkRecords) SubmitFilling();
    }
    return !m_failed;
}

bool QVxAnalogHdf5Columns::Finish() {
    if (m_filling && m_filling->count > 0) SubmitFilling();
    while (!m_running.empty()) WriteOldest();
    if (!WaitForWrite()) m_failed = true;
    return !m_failed;
}

void QVxAnalogHdf5Columns::SubmitFilling() {
    m_filling->Complete();
    m_nextRecord += m_filling->count;
    if (!m_workers) {
        StartWrite(std::move(m_filling), true);
        return;
    }
    // One chunk per worker and one more keep every worker busy while the oldest is written.
    while (m_running.size() > m_workers->GetWorkerCount()) WriteOldest();
    Job* job = m_filling.get();
    m_workers->Submit([job, level = m_deflateLevel] { job->Compress(level); });
    m_running.push_back(std::move(m_filling));
}

void QVxAnalogHdf5Columns::WriteOldest() {
    std::unique_ptr<Job> job = std::move(m_running.front());
    m_running.pop_front();
    const bool compressed = m_workers->TakeOldest();
    StartWrite(std::move(job), compressed);
}

void QVxAnalogHdf5Columns::StartWrite(std::unique_ptr<Job> job, bool encoded) {
    if (!WaitForWrite()) m_failed = true;
    // No write is in flight from here on: this thread may call the HDF5 library.
    if (!m_failed && !encoded) m_failed = !m_writer.Fail("a chunk could not be compressed");
    if (m_failed) {
        m_free.push_back(std::move(job));
        return;
    }
    m_writing = std::move(job);
    m_write = std::async(std::launch::async, [this, chunk = m_writing.get()] {
        return m_writer.WriteChunk(chunk->firstRecord, chunk->count, chunk->stored);
    });
}

bool QVxAnalogHdf5Columns::WaitForWrite() {
    if (!m_write.valid()) return true;
    const bool written = m_write.get();
    m_free.push_back(std::move(m_writing));
    return written;
}
