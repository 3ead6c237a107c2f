#pragma once
// Decodes report records into the column layout of an HDF5 export and hands whole
// chunks to a QVxAnalogHdf5Writer. Two sets of column buffers take turns: while one
// chunk is written (compressed and copied to the file) by a thread of its own, the
// caller decodes the next into the other, so that the HDF5 library is only ever called
// from one thread at a time. Public functions: the caller's thread, one at a time.

#include <array>
#include <cstdint>
#include <future>
#include <vector>

class QVxAnalogHdf5Writer;

class QVxAnalogHdf5Columns {
public:
    // `timeWordIndex`: the 64-bit word of a record holding its time stamp.
    QVxAnalogHdf5Columns(QVxAnalogHdf5Writer& writer, std::uint64_t chunkRecords, std::int32_t timeWordIndex);
    // Waits for a write still in flight.
    ~QVxAnalogHdf5Columns();
    QVxAnalogHdf5Columns(const QVxAnalogHdf5Columns&) = delete;
    QVxAnalogHdf5Columns& operator=(const QVxAnalogHdf5Columns&) = delete;

    // Decodes `count` 16-byte records (times to ns, samples limited to 16383) and starts
    // the write of every chunk that fills up. False once a write failed.
    bool Add(const std::uint8_t* records, std::uint64_t count);

    // Writes what is decoded and waits until every write is done. False when one failed.
    bool Finish();

private:
    struct Columns {
        std::vector<std::int64_t> time;
        std::array<std::vector<std::uint16_t>, 4> codes;
    };

    void Decode(const std::uint8_t* records, std::uint64_t count);
    // Starts writing the filled columns and switches to the other set.
    bool StartWrite();
    bool WaitForWrite();

    QVxAnalogHdf5Writer& m_writer;
    std::uint64_t m_capacity;
    std::int32_t m_timeWord;
    std::array<Columns, 2> m_columns;
    int m_filling = 0;  // the set being decoded into
    std::uint64_t m_used = 0;
    std::future<bool> m_write;
};
