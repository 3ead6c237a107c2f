#include "QV+AnalogCore/Export/QVxAnalogRowExport.h"

#include "QV+AnalogCore/Export/QVxAnalogHdf5RowSink.h"
#include "QV+AnalogCore/Export/ReportRecordWalk.h"
#include "QV+AnalogCore/Export/ReportSpan.h"
#include "QVxCore/AnalogSession.h"
#include "QVxCore/Presenters/Interaction.h"
#include "QVxCore/ReportData/ReportData.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

namespace {

using qvx::analog::RecordChunk;
using qvx::analog::ReportRecordWalk;
using qvx::analog::ReportSpan;
using qvx::analog::WalkOutcome;
using qvx::analog::WalkResult;
using Format = QVxRowExportRequest::Format;

const char* FormatName(Format format) {
    return format == Format::kCsv ? "CSV" : "HDF5";
}

QVxExportResult Failure(Format format, std::string why) {
    spdlog::error("{} export failed: {}", FormatName(format), why);
    return {QVxExportResult::Outcome::kFailed, std::move(why), 0, 0};
}

// Walks `span` into `consume` with the token's progress and cancel.
WalkResult WalkSpan(qvx::ReportDataReader& reader, const ReportSpan& span, qvx::ProgressToken* progress,
                    const qvx::analog::ChunkConsumer& consume) {
    ReportRecordWalk walk(reader, QVxAnalogRowExport::kProgressRowStride,
                          ReportRecordWalk::Unreadable::kFindRecord);
    qvx::analog::WalkProgress report;
    if (progress) {
        report = [progress](std::uint64_t done, std::uint64_t total) {
            return progress->SetProgress(static_cast<std::int64_t>(done), static_cast<std::int64_t>(total));
        };
    }
    return walk.Walk(span, consume, report);
}

// How a walk that did not finish ends the export; `writeError` is the sink's reason when
// it stopped the walk. The sink is finished (CSV) or abandoned (HDF5) by the caller.
QVxExportResult EndOfWalk(Format format, const WalkResult& walk, const std::string& writeError,
                          const std::filesystem::path& path, const std::filesystem::path& folder) {
    QVxExportResult result;
    result.rowsWritten = walk.recordsDone;
    switch (walk.outcome) {
        case WalkOutcome::kDone:
            break;
        case WalkOutcome::kCancelled:
            spdlog::info("{} export cancelled after {} rows ({})", FormatName(format), walk.recordsDone,
                         path.string());
            result.outcome = QVxExportResult::Outcome::kCancelled;
            break;
        case WalkOutcome::kStopped:
            result = Failure(format, writeError);
            break;
        case WalkOutcome::kUnreadable:
            // A stored record that cannot be read (a damaged or shrunk file).
            result = Failure(format, fmt::format("the record of row {} cannot be read ({})",
                                                 walk.unreadableIndex + 1, folder.string()));
            result.unreadableRow = walk.unreadableIndex + 1;
            break;
    }
    return result;
}

QVxExportResult ExportCsv(qvx::ReportDataReader& reader, const ReportSpan& span,
                          const QVxRowExportRequest& request, qvx::ProgressToken* progress,
                          const std::filesystem::path& folder) {
    QVxAnalogCsvRowSink sink;
    std::string error;
    if (!sink.Open(request.path, request.csvHeaderLine, request.csvValueText, request.clockOriginNs, error))
        return Failure(Format::kCsv, error);
    const WalkResult walk =
        WalkSpan(reader, span, progress, [&sink](const RecordChunk& chunk) { return sink.Consume(chunk); });
    QVxExportResult result = EndOfWalk(Format::kCsv, walk, sink.GetError(), request.path, folder);
    // The rows written so far stay, also after a cancel or an unreadable record.
    if (!sink.Finish() && !result.Failed()) result = Failure(Format::kCsv, sink.GetError());
    return result;
}

QVxExportResult ExportHdf5(qvx::ReportDataReader& reader, const ReportSpan& span,
                           const QVxRowExportRequest& request, qvx::ProgressToken* progress,
                           const qvx::AnalogSession& session, const std::filesystem::path& folder) {
    QVxAnalogHdf5RowSink sink;
    std::string error;
    const QVxAnalogHdf5Header header =
        QVxAnalogHdf5RowSink::MakeHeader(session, reader, span.first, span.records);
    if (!sink.Open(request.path, header, request.hdf5Layout, reader.GetTimeWordIndex(), error))
        return Failure(Format::kHdf5, error);
    const WalkResult walk =
        WalkSpan(reader, span, progress, [&sink](const RecordChunk& chunk) { return sink.Consume(chunk); });
    QVxExportResult result = EndOfWalk(Format::kHdf5, walk, sink.GetError(), request.path, folder);
    // Only a complete file takes the target's name; the sink removes any other.
    if (walk.outcome != WalkOutcome::kDone) return result;
    if (!sink.Finish(error)) return Failure(Format::kHdf5, error);
    if (progress)
        progress->SetProgress(static_cast<std::int64_t>(span.records),
                              static_cast<std::int64_t>(span.records));
    return result;
}

}  // namespace

QVxExportResult QVxAnalogRowExport::Run(const qvx::AnalogSession& session, const QVxRowExportRequest& request,
                                        qvx::ProgressToken* progress) {
    if (!session.GetReportData()) return Failure(request.format, "no report is open");
    if (session.IsOwnFile(request.path))
        return Failure(request.format, request.path.string() + " is a file of the session being exported");
    // A reader of its own: the session's reader is not safe for concurrent use and the GUI
    // thread keeps reading through it while this runs.
    const std::filesystem::path folder = session.GetReportFolderPath();
    const qvx::ReportDataReaderPtr reader = qvx::ReportDataReader::Open(folder);
    if (!reader) return Failure(request.format, "cannot open the report in " + folder.string());
    const ReportSpan span = qvx::analog::SpanOfRows(*reader, request.firstRow, request.lastRow);
    return request.format == Format::kCsv ? ExportCsv(*reader, span, request, progress, folder)
                                          : ExportHdf5(*reader, span, request, progress, session, folder);
}
