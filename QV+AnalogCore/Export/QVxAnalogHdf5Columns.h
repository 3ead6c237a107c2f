#pragma once
// Turns report records into the chunks of an HDF5 export and hands them to a
// QVxAnalogHdf5Writer. The caller's thread decodes the records into a chunk's columns
// (times in ns, samples limited to 16383). When the layout compresses, worker threads, one
// per core (QVxOrderedWorkers), shuffle and deflate the chunks exactly as HDF5's own filters
// would. The finished chunks are written in order, straight into the datasets, each by a
// thread of its own while the caller decodes the next; the HDF5 library is never called from
// two threads at once. Public functions: the caller's thread, one at a time.

#include "QV+AnalogCore/Export/QVxOrderedWorkers.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <future>
#include <memory>
#include <vector>

class QVxAnalogHdf5Writer;

class QVxAnalogHdf5Columns {
public:
    // `chunkRecords`: the datasets' chunk size; `deflateLevel` 0 stores the values as they
    // are, 1..9 shuffles and deflates them. `timeWordIndex`: the 64-bit word of a record
    // holding its time stamp.
    QVxAnalogHdf5Columns(QVxAnalogHdf5Writer& writer, std::uint64_t chunkRecords, int deflateLevel,
                         std::int32_t timeWordIndex);
    // Stops the workers; chunks not written yet are dropped.
    ~QVxAnalogHdf5Columns();
    QVxAnalogHdf5Columns(const QVxAnalogHdf5Columns&) = delete;
    QVxAnalogHdf5Columns& operator=(const QVxAnalogHdf5Columns&) = delete;

    // Takes `count` 16-byte records and writes every chunk that is done. False once a write
    // failed.
    bool Add(const std::uint8_t* records, std::uint64_t count);

    // Encodes and writes what is left (the last chunk may be short). False when a write failed.
    bool Finish();

    struct Job;

private:
    // Completes the chunk being filled and hands it to a worker, or straight to its write
    // without compression; writes the oldest first while enough are in flight.
    void SubmitFilling();
    // Waits for the oldest chunk's compression and starts its write.
    void WriteOldest();
    // Starts writing `job` once the write before it is done; drops it after a failure.
    void StartWrite(std::unique_ptr<Job> job, bool encoded);
    // Waits for the write in flight, if any. False when it failed.
    bool WaitForWrite();
    std::unique_ptr<Job> TakeFreeJob();

    QVxAnalogHdf5Writer& m_writer;
    std::uint64_t m_chunkRecords;
    int m_deflateLevel;
    std::size_t m_timeWord;
    std::uint64_t m_nextRecord = 0;  // export's record index of the chunk being filled
    bool m_failed = false;
    std::unique_ptr<Job> m_filling;
    std::deque<std::unique_ptr<Job>> m_running;
    std::vector<std::unique_ptr<Job>> m_free;
    std::unique_ptr<Job> m_writing;  // the chunk being written
    std::future<bool> m_write;
    // Compressing only. Last, so that its threads stop before the jobs they work on go.
    std::unique_ptr<QVxOrderedWorkers> m_workers;
};
