#include "QV+AnalogCore/Presenters/QVxAnalogDisplayTriggerListModel.h"

#include "QV+AnalogCore/Export/QVxListCsv.h"
#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogRecordDecoding.h"
#include "QVxCore/AnalogSession.h"
#include "QVxCore/ReportData/WrittenRecordReader.h"
#include "QVxCore/Utils.h"
#include "QVxWinCommon/QVxClockTime.h"
#include "QVxWinCommon/QVxGuiStrings.h"
#include "QVxWinCommon/QVxUtils.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

using qvx::analog::kUnreadableCell;

QVxAnalogDisplayTriggerListModel::QVxAnalogDisplayTriggerListModel(IQVxAnalogListOwner* owner)
    : m_owner(owner) {
    QVX_VERIFY(owner);
}

QVxAnalogDisplayTriggerListModel::~QVxAnalogDisplayTriggerListModel() = default;

std::string QVxAnalogDisplayTriggerListModel::GetColumnText(int column) const {
    switch (column) {
        case 0:
            return "#";
        case 1:
            return std::string(QVxLoadGuiString(kGuiStringDataNumber));
        case 2:
            return m_owner && m_owner->GetClockTimeOrigin()
                       ? "Time"
                       : "Time[" + QVxUtils::MakeTimeUnitString(kTimeUnit) + "]";
        case 3:
            return "WidthTime[" + QVxUtils::MakeTimeUnitString(kTimeUnit) + "]";
        case 4:
        case 5:
        case 6:
        case 7:
            return fmt::format("CH{}", column - 3);
        default:
            QVX_UNREACHABLE();
    }
}

std::size_t QVxAnalogDisplayTriggerListModel::GetRowCount() const {
    const qvx::AnalogSession* session = m_owner ? m_owner->GetCurrentSession() : nullptr;
    return session ? session->GetDisplayTriggerList().size() : 0;
}

std::string QVxAnalogDisplayTriggerListModel::GetText(std::size_t row, int column) const {
    return StoredText(row, column, TimeStyle::kList);
}

std::string QVxAnalogDisplayTriggerListModel::StoredText(std::size_t row, int column, TimeStyle style) const {
    if (column < 0 || column >= kColumnCount) QVX_UNREACHABLE();
    qvx::AnalogSession* session = m_owner ? m_owner->GetCurrentSession() : nullptr;
    QVX_CHECK_RETURN(session && row < session->GetDisplayTriggerList().size(), {});
    qvx::ReportDataReader* reader = session->GetReportData().get();
    RecordSource source;
    if (reader) {
        source.read = [reader](std::uint64_t index) {
            return index < reader->GetTotalRecordCount() ? reader->ReadRecordByIndex(index) : nullptr;
        };
        source.timeWordIndex = [reader] { return reader->GetTimeWordIndex(); };
    }
    return HitText(session->GetDisplayTriggerList()[row], row, column, source, style);
}

std::string QVxAnalogDisplayTriggerListModel::GetLiveText(const qvx::AnalogDisplayTriggerList& hits,
                                                          std::size_t row, int column,
                                                          TimeStyle style) const {
    if (column < 0 || column >= kColumnCount) QVX_UNREACHABLE();
    QVX_CHECK_RETURN(row < hits.size(), {});
    return GetLiveText(hits[row], row, column, style);
}

std::string QVxAnalogDisplayTriggerListModel::GetLiveText(const qvx::AnalogDisplayTriggerItem& hit,
                                                          std::size_t row, int column,
                                                          TimeStyle style) const {
    if (column < 0 || column >= kColumnCount) QVX_UNREACHABLE();
    return HitText(hit, row, column, LiveSource(), style);
}

// The running trace's report folder, read as far as it is written.
QVxAnalogDisplayTriggerListModel::RecordSource QVxAnalogDisplayTriggerListModel::LiveSource() const {
    const qvx::AnalogSession* session = m_owner ? m_owner->GetCurrentSession() : nullptr;
    if (!session) return {};
    if (!m_written || m_written->GetReportFolder() != session->GetReportFolderPath())
        m_written = std::make_unique<qvx::WrittenRecordReader>(session->GetReportFolderPath());
    qvx::WrittenRecordReader* written = m_written.get();
    RecordSource source;
    source.read = [written](std::uint64_t index) { return written->Read(index); };
    source.timeWordIndex = [written] { return written->GetTimeWordIndex(); };
    return source;
}

std::string QVxAnalogDisplayTriggerListModel::HitText(const qvx::AnalogDisplayTriggerItem& hit,
                                                      std::size_t row, int column, const RecordSource& source,
                                                      TimeStyle style) const {
    switch (column) {
        case 0:
            return fmt::format_int(static_cast<unsigned long long>(row) + 1).str();
        case 1:
            return fmt::format_int(hit.dataIndex + 1).str();
        case 3:
            return hit.widthNSec > 0 ? QVxUtils::MakeTimeToDisplayString(hit.widthNSec, kTimeUnit)
                                     : kUnreadableCell;
        default:
            break;
    }
    // Time and values come from the hit's record.
    QVxAnalogOscilloGraphViewModel* graph = m_owner->GetCurrentOscilloGraphViewModel();
    const std::uint8_t* record =
        source.read && hit.dataIndex >= 0 ? source.read(static_cast<std::uint64_t>(hit.dataIndex)) : nullptr;
    if (!record || !graph) return kUnreadableCell;
    if (column == 2) {
        const std::int64_t time = qvx::analog::DecodeRecord(record, source.timeWordIndex()).time;
        if (const auto origin = m_owner->GetClockTimeOrigin()) {
            return style == TimeStyle::kCsv ? QVxClockTime::Iso8601(*origin + time)
                                            : QVxClockTime::TimeOfDay(*origin + time, 9);
        }
        return QVxUtils::MakeTimeToDisplayString(time, kTimeUnit);
    }
    const int channel = column - 4;
    return graph->OnMakeDisplayValue(channel, qvx::analog::DecodeChannel(record, channel));
}

bool QVxAnalogDisplayTriggerListModel::ExportCsv(const std::filesystem::path& path) const {
    return WriteCsv(path, GetRowCount(),
                    [this](std::size_t row, int column) { return StoredText(row, column, TimeStyle::kCsv); });
}

bool QVxAnalogDisplayTriggerListModel::ExportLiveCsv(const std::filesystem::path& path,
                                                     const qvx::AnalogDisplayTriggerList& hits) const {
    return WriteCsv(path, hits.size(), [this, &hits](std::size_t row, int column) {
        return GetLiveText(hits, row, column, TimeStyle::kCsv);
    });
}

bool QVxAnalogDisplayTriggerListModel::WriteCsv(
    const std::filesystem::path& path, std::size_t rows,
    const std::function<std::string(std::size_t, int)>& text) const {
    QVxCsvFileWriter out;
    if (!StartListCsv(out, path, m_owner ? m_owner->GetCurrentSession() : nullptr, kColumnCount,
                      [this](int c) { return GetColumnText(c); }))
        return false;
    for (std::size_t row = 0; row < rows; ++row) {
        out.Append(text(row, 0));
        for (int c = 1; c < kColumnCount; ++c) {
            out.Append(',');
            AppendQuotedCell(out, text(row, c));
        }
        out.Append('\n');
        if (!out.FlushIfFull()) break;
    }
    return out.Close();
}
