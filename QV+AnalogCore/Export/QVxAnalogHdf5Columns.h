#pragma once
// Turns report records into the chunks of an HDF5 export and hands them to a
// QVxAnalogHdf5Writer. Each chunk of records is decoded into its columns (times in ns,
// samples limited to 16383) and, when the layout compresses, shuffled and deflated exactly
// as HDF5's own filters would, on worker threads, one per core (QVxOrderedWorkers). The
// finished chunks are written in order, straight into the datasets, by one writing thread
// at a time (a write of its own per chunk, so that the caller reads the next records
// meanwhile); the HDF5 library is never called from two threads at once. Public
// functions: the caller's thread, one at a time.

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
    // Hands the chunk being filled to a worker; writes the oldest first while enough are
    // in flight.
    bool SubmitFilling();
    // Waits for the oldest chunk and starts its write once the write before it is done.
    // False when its encoding or a write failed.
    bool WriteOldest();
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
    // Last, so that its threads stop before the jobs they work on go.
    std::unique_ptr<QVxOrderedWorkers> m_workers;
};
