#pragma once
// The HDF5 sink of a data-list export: takes the record chunks of a walk into the columns of
// a QVxAnalogHdf5Writer ("time_ns" and "ch1".."ch4" with the session's scaling, track names,
// ranges and probes). The file takes its name only in Finish; a sink destroyed before that
// leaves the target as it was. The export's worker thread, one call at a time.

#include "QV+AnalogCore/Export/QVxAnalogHdf5Columns.h"
#include "QV+AnalogCore/Export/QVxAnalogHdf5Writer.h"
#include "QV+AnalogCore/Export/ReportRecordWalk.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace qvx {
class AnalogSession;
class ReportDataReader;
}  // namespace qvx

class QVxAnalogHdf5RowSink {
public:
    // The file's header for the records [firstIndex, firstIndex + recordCount) of the
    // session's report: its start time, sampling frequency, program, source session and
    // each channel's name, range, probe and volts per code.
    static QVxAnalogHdf5Header MakeHeader(const qvx::AnalogSession& session,
                                          const qvx::ReportDataReader& reader, std::uint64_t firstIndex,
                                          std::uint64_t recordCount);

    // Creates the file's datasets for `header.recordCount` records. False, with why in
    // `error`, when it cannot be created.
    bool Open(const std::filesystem::path& path, const QVxAnalogHdf5Header& header,
              const QVxAnalogHdf5Layout& layout, std::int32_t timeWordIndex, std::string& error);

    // Decodes the chunk into the columns; false (stop) once a write failed.
    bool Consume(const qvx::analog::RecordChunk& chunk);

    // Writes the rest, closes the file and gives it its name. False, with why in `error`,
    // when a write or the close failed.
    bool Finish(std::string& error);

    // Why the last write failed (empty while none did).
    const std::string& GetError() const { return m_writer.GetError(); }

private:
    QVxAnalogHdf5Writer m_writer;
    std::unique_ptr<QVxAnalogHdf5Columns> m_columns;
};
