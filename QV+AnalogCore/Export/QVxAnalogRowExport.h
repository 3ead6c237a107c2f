#pragma once
// The data list's export as one pipeline: the rows asked for are resolved into a span of the
// report once, its records are walked in chunks by a reader of the export's own, and a sink
// (CSV or HDF5) writes each chunk. Progress and cancel go through the progress token after
// every chunk (kProgressRowStride records). Every failure comes back as one result with the
// text the window and the command line show.
//
// Worker thread (the progress dialog's or the command line's task); the session's reader is
// not touched, so the GUI thread may keep reading through it.

#include "QV+AnalogCore/Export/QVxAnalogCsvRowSink.h"
#include "QV+AnalogCore/Export/QVxAnalogHdf5Writer.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace qvx {
class AnalogSession;
class ProgressToken;
}  // namespace qvx

// How an export ended.
struct QVxExportResult {
    enum class Outcome {
        kWritten,    // every row is in the file
        kCancelled,  // by the user: a CSV file keeps the rows written so far, an HDF5 target is left as it
                     // was
        kFailed,     // see `error`: a CSV file keeps the rows before an unreadable record, every other
                     // failure leaves the target as it was
    };
    Outcome outcome = Outcome::kWritten;
    std::string error;                // why it failed, in words for the user; empty unless kFailed
    std::uint64_t unreadableRow = 0;  // row number ("#") of the record that could not be read, or 0
    std::uint64_t rowsWritten = 0;

    bool Failed() const { return outcome == Outcome::kFailed; }
};

struct QVxRowExportRequest {
    enum class Format { kCsv, kHdf5 };

    std::filesystem::path path;
    Format format = Format::kCsv;
    // Rows as the data list numbers them from 0 (both negative: all rows).
    std::int64_t firstRow = -1;
    std::int64_t lastRow = -1;
    // CSV: the header line with its line end, the value texts and the clock origin of the
    // time column (ns since 1970 of time 0; none for times since the start).
    std::string csvHeaderLine;
    QVxAnalogCsvRowSink::ValueText csvValueText;
    std::optional<std::int64_t> clockOriginNs;
    // HDF5: chunking and compression.
    QVxAnalogHdf5Layout hdf5Layout;

    // The rows `firstRow`..`lastRow` into `path` as `format`, the rest as by default.
    static QVxRowExportRequest ForRows(std::filesystem::path path, Format format, std::int64_t firstRow,
                                       std::int64_t lastRow) {
        QVxRowExportRequest request;
        request.path = std::move(path);
        request.format = format;
        request.firstRow = firstRow;
        request.lastRow = lastRow;
        return request;
    }
};

class QVxAnalogRowExport {
public:
    // Records walked between two progress reports (and cancel checks).
    static constexpr std::uint64_t kProgressRowStride = 4096;

    // Exports the rows of `request` from the report of `session`. `progress` may be null.
    static QVxExportResult Run(const qvx::AnalogSession& session, const QVxRowExportRequest& request,
                               qvx::ProgressToken* progress);
};
