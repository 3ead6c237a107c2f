#include "QV+AnalogCore/Presenters/QVxAnalogDataListViewModel.h"

#include "QV+AnalogCore/Export/ReportSpan.h"
#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogRecordDecoding.h"
#include "QVxCore/AnalogSession.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/Utils.h"
#include "QVxWinCommon/QVxClockTime.h"
#include "QVxWinCommon/QVxUtils.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include <algorithm>

namespace {

using qvx::analog::kUnreadableCell;

std::optional<std::pair<std::uint64_t, std::uint64_t>> RowsOfTimeRangeIn(qvx::ReportDataReader& reader,
                                                                         std::int64_t fromNs,
                                                                         std::int64_t toNs) {
    if (fromNs < 0 || toNs < fromNs) return std::nullopt;
    const std::uint64_t first = qvx::analog::FirstStoredIndex(reader);
    const std::uint64_t total = std::max(first, reader.GetTotalRecordCount());
    // Time stamps count 10 ns: the first stamp at or after fromNs, the last at or before toNs.
    const std::uint64_t fromTicks = qvx::TicksAtOrAfterNs(fromNs);
    const std::uint64_t toTicks = qvx::TicksAtOrBeforeNs(toNs);
    std::uint64_t index = 0;
    std::uint64_t time = 0;
    // One past the last record whose stamp is <= ticks; `first` when the time lies before them all.
    auto endAtOrBefore = [&](std::uint64_t ticks) {
        return reader.FindIndexByTime(ticks, index, time) ? std::clamp(index + 1, first, total) : first;
    };
    const std::uint64_t start = fromTicks == 0 ? first : endAtOrBefore(fromTicks - 1);
    const std::uint64_t stop = std::max(start, endAtOrBefore(toTicks));
    return std::pair{start - first, stop - first};
}

}  // namespace

QVxAnalogDataListViewModel::QVxAnalogDataListViewModel(IQVxAnalogListOwner* owner) : m_owner(owner) {
    QVX_VERIFY(owner);
}

qvx::ReportDataReader* QVxAnalogDataListViewModel::Reader() const {
    qvx::AnalogSession* session = m_owner ? m_owner->GetCurrentSession() : nullptr;
    return session ? session->GetReportData().get() : nullptr;
}

std::string QVxAnalogDataListViewModel::GetColumnText(int column) const {
    return ColumnTitle(column, m_owner && m_owner->GetClockTimeOrigin());
}

std::string QVxAnalogDataListViewModel::ColumnTitle(int column, bool clockTime) {
    switch (column) {
        case 0:
            return "#";
        case 1:
            return clockTime ? "Time" : "Time[" + QVxUtils::MakeTimeUnitString(kTimeUnit) + "]";
        case 2:
        case 3:
        case 4:
        case 5:
            return fmt::format("CH{}", column - 1);
        default:
            QVX_UNREACHABLE();
    }
}

std::uint64_t QVxAnalogDataListViewModel::GetRowCount() const {
    const qvx::ReportDataReader* reader = Reader();
    return reader ? qvx::analog::StoredRowCount(*reader) : 0;
}

std::uint64_t QVxAnalogDataListViewModel::GetFirstIndex() const {
    const qvx::ReportDataReader* reader = Reader();
    return reader ? qvx::analog::FirstStoredIndex(*reader) : 0;
}

std::string QVxAnalogDataListViewModel::GetText(std::uint64_t row, int column) const {
    if (column < 0 || column >= kColumnCount) QVX_UNREACHABLE();
    qvx::ReportDataReader* reader = Reader();
    const std::uint64_t index = (reader ? qvx::analog::FirstStoredIndex(*reader) : 0) + row;
    if (column == 0) return fmt::format_int(index + 1).str();

    QVxAnalogOscilloGraphViewModel* graph = m_owner ? m_owner->GetCurrentOscilloGraphViewModel() : nullptr;
    if (!reader || !graph) return {};
    const std::uint8_t* record =
        index < reader->GetTotalRecordCount() ? reader->ReadRecordByIndex(index) : nullptr;
    if (!record) return std::string(kUnreadableCell);
    if (column == 1) {
        const auto decoded = qvx::analog::DecodeRecord(record, reader->GetTimeWordIndex());
        if (const auto origin = m_owner->GetClockTimeOrigin())
            return QVxClockTime::TimeOfDay(*origin + decoded.time, 9);
        return QVxUtils::MakeTimeToDisplayString(decoded.time, kTimeUnit);
    }
    const int channel = column - 2;
    return graph->OnMakeDisplayValue(channel, qvx::analog::DecodeChannel(record, channel));
}

std::pair<std::uint64_t, std::uint64_t> QVxAnalogDataListViewModel::ExportRowRange(std::int64_t firstRow,
                                                                                   std::int64_t lastRow,
                                                                                   std::uint64_t rowCount) {
    return qvx::analog::RowRangeOf(firstRow, lastRow, rowCount);
}

QVxExportResult QVxAnalogDataListViewModel::Export(QVxRowExportRequest request,
                                                   qvx::ProgressToken* progress) const {
    qvx::AnalogSession* session = m_owner ? m_owner->GetCurrentSession() : nullptr;
    if (!session || !session->GetReportData()) {
        return {QVxExportResult::Outcome::kFailed, "no report is open", 0, 0};
    }
    if (request.format == QVxRowExportRequest::Format::kCsv) {
        // The rows' texts are the list's: its titles and the oscillograph's value texts.
        QVxAnalogOscilloGraphViewModel* graph = m_owner->GetCurrentOscilloGraphViewModel();
        if (!graph)
            return {QVxExportResult::Outcome::kFailed, "no waveform view gives the value texts", 0, 0};
        request.csvHeaderLine.clear();
        for (int c = 0; c < kColumnCount; ++c) {
            if (c > 0) request.csvHeaderLine += ',';
            request.csvHeaderLine += ColumnTitle(c, request.clockOriginNs.has_value());
        }
        request.csvHeaderLine += '\n';
        request.csvValueText = [graph](int channel, std::int64_t centred) {
            return graph->OnMakeDisplayValue(channel, centred);
        };
    }
    return QVxAnalogRowExport::Run(*session, request, progress);
}

bool QVxAnalogDataListViewModel::ExportCsv(const std::filesystem::path& path, std::int64_t firstRow,
                                           std::int64_t lastRow, qvx::ProgressToken* progress,
                                           std::uint64_t* unreadableRow,
                                           std::optional<std::int64_t> clockOriginNs) const {
    QVxRowExportRequest request =
        QVxRowExportRequest::ForRows(path, QVxRowExportRequest::Format::kCsv, firstRow, lastRow);
    request.clockOriginNs = clockOriginNs;
    const QVxExportResult result = Export(std::move(request), progress);
    if (unreadableRow && result.unreadableRow != 0) *unreadableRow = result.unreadableRow;
    // A cancel keeps the rows written so far: the file is complete as far as it goes.
    return !result.Failed();
}

std::optional<std::pair<std::uint64_t, std::uint64_t>> QVxAnalogDataListViewModel::RowsOfTimeRange(
    std::int64_t fromNs, std::int64_t toNs) const {
    qvx::ReportDataReader* reader = Reader();
    if (!reader) return std::pair<std::uint64_t, std::uint64_t>{0, 0};
    return RowsOfTimeRangeIn(*reader, fromNs, toNs);
}

bool QVxAnalogDataListViewModel::ExportHdf5(const std::filesystem::path& path, std::int64_t firstRow,
                                            std::int64_t lastRow, qvx::ProgressToken* progress,
                                            const QVxAnalogHdf5Layout& layout, std::string* error,
                                            std::uint64_t* unreadableRow) const {
    QVxRowExportRequest request =
        QVxRowExportRequest::ForRows(path, QVxRowExportRequest::Format::kHdf5, firstRow, lastRow);
    request.hdf5Layout = layout;
    const QVxExportResult result = Export(std::move(request), progress);
    if (error) *error = result.error;
    if (unreadableRow && result.unreadableRow != 0) *unreadableRow = result.unreadableRow;
    // A cancelled HDF5 file is not written at all.
    return result.outcome == QVxExportResult::Outcome::kWritten;
}
