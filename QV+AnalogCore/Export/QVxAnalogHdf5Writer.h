#pragma once
// Writes an analog recording (or a range of it) as an HDF5 file that analysis tools read
// directly: one int64 dataset "time_ns" (ns since the trace start, a dimension scale) and
// four uint16 datasets "ch1".."ch4" (raw converter codes), chunked and optionally
// compressed (shuffle + deflate), with CF-style attributes so that xarray and netCDF
// readers convert the codes to volts and the times to dates by themselves.
//
// The file is written under a temporary name (QVxExportTarget) and takes its name only
// when Finish succeeds; a writer destroyed before that removes it. HDF5's own error
// printing is switched off while a writer exists (on the threads that call it);
// failures are logged with HDF5's messages and kept in GetError(). One writer at a time
// per process, and one call at a time (the HDF5 library is not safe for concurrent
// use); the calls may come from different threads when they are ordered.

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

class QVxExportTarget;

struct QVxAnalogHdf5Channel {
    std::string name;                  // track name, UTF-8 ("long_name")
    double scaleFactor = 1;            // V per code
    double addOffset = 0;              // V at code 0
    std::int32_t rangeMilliVolts = 0;  // full-scale amplitude with the probe, mV
    std::int32_t rangeIndex = 0;
    std::int32_t probeFactor = 1;  // 1 or 10
    bool enabled = true;
};

struct QVxAnalogHdf5Layout {
    static constexpr std::uint64_t kDefaultChunkRecords = std::uint64_t{1} << 20;
    std::uint64_t chunkRecords = kDefaultChunkRecords;
    int deflateLevel = 1;  // 0: stored uncompressed (no shuffle either)
};

struct QVxAnalogHdf5Header {
    std::uint64_t recordCount = 0;       // records the datasets hold
    std::uint64_t firstRecordIndex = 0;  // global index of the first exported record
    std::int64_t startTimeNs = 0;        // trace start, ns since the epoch
    std::int64_t samplingFrequency = 0;  // records/s
    std::string program;
    std::string programVersion;
    std::string sourceSession;  // saved settings file the data came from, or "unsaved"
    std::array<QVxAnalogHdf5Channel, 4> channels;
};

class QVxAnalogHdf5Writer {
public:
    QVxAnalogHdf5Writer();
    ~QVxAnalogHdf5Writer();
    QVxAnalogHdf5Writer(const QVxAnalogHdf5Writer&) = delete;
    QVxAnalogHdf5Writer& operator=(const QVxAnalogHdf5Writer&) = delete;

    // Creates the file for `target` with its datasets (sized for header.recordCount) and
    // attributes. A target that exists and is not a regular file is refused. False on failure.
    bool Create(const std::filesystem::path& target, const QVxAnalogHdf5Header& header,
                const QVxAnalogHdf5Layout& layout = {});

    // Writes the next `count` records: times in ns and one code array per channel.
    // False on failure, or when more records would be written than the file holds.
    // Appends of whole chunks (QVxAnalogHdf5Layout::chunkRecords) starting on a chunk
    // boundary are written straight to the file; any other append costs a read back of
    // the chunks it touches.
    bool Append(const std::int64_t* timeNs, const std::array<const std::uint16_t*, 4>& codes,
                std::uint64_t count);

    // The datasets in the order chunks are handed over: "time_ns", then "ch1".."ch4".
    static constexpr std::size_t kDatasetCount = 5;
    struct ChunkBytes {
        const void* data = nullptr;
        std::size_t size = 0;
    };
    // Records per chunk of the datasets created (the layout's, or the record count when it
    // is smaller).
    std::uint64_t GetChunkRecords() const { return m_chunkRecords; }
    // Writes one chunk of every dataset as the file stores it: the values themselves, or
    // shuffled and deflated (zlib format) when the layout compresses. Chunks come in order;
    // `firstRecord` is the export's record where the chunk begins and `count` how many of its
    // records lie inside the datasets (fewer than a chunk for the last). False on failure.
    bool WriteChunk(std::uint64_t firstRecord, std::uint64_t count,
                    const std::array<ChunkBytes, kDatasetCount>& chunks);

    // Closes the file and gives it the target's name. False (and the target is left as it
    // was) when a write or the close failed, or fewer records were written than announced.
    bool Finish();

    // Closes and removes the temporary file; the target stays as it was.
    void Abandon();

    const std::string& GetError() const { return m_error; }

    // Keeps `what` (with HDF5's messages) as the error, logs it and abandons the file. False.
    bool Fail(const std::string& what);

    // "2026-01-02T03:04:05.123456789Z" for ns since the epoch.
    static std::string FormatIsoUtc(std::int64_t epochNs);

private:
    struct Handles;
    bool CloseHandles();

    std::unique_ptr<Handles> m_h;
    std::unique_ptr<QVxExportTarget> m_target;
    std::uint64_t m_recordCount = 0;
    std::uint64_t m_chunkRecords = 1;
    std::uint64_t m_written = 0;
    std::string m_error;
};
