#include "QV+AnalogCore/Presenters/QVxAnalogDisplayTriggerListModel.h"

#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogRecordDecoding.h"
#include "QV+AnalogCore/Presenters/QVxCsvFileWriter.h"
#include "QVxCore/AnalogSession.h"
#include "QVxCore/Utils.h"
#include "QVxWinCommon/QVxGuiStrings.h"
#include "QVxWinCommon/QVxUtils.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

namespace {

constexpr const char* kUnreadableCell = "-";
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

QVxAnalogDisplayTriggerListModel::QVxAnalogDisplayTriggerListModel(IQVxAnalogListOwner* owner)
    : m_owner(owner) {
    QVX_VERIFY(owner);
}

std::string QVxAnalogDisplayTriggerListModel::GetColumnText(int column) const {
    switch (column) {
        case 0:
            return "#";
        case 1:
            return std::string(QVxLoadGuiString(kDataNumberStringId));
        case 2:
            return "Time[" + QVxUtils::MakeTimeUnitString(kTimeUnit) + "]";
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
    if (column < 0 || column >= kColumnCount) QVX_UNREACHABLE();
    qvx::AnalogSession* session = m_owner ? m_owner->GetCurrentSession() : nullptr;
    QVX_CHECK_RETURN(session && row < session->GetDisplayTriggerList().size(), {});
    const qvx::AnalogDisplayTriggerItem& hit = session->GetDisplayTriggerList()[row];

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
    qvx::ReportDataReader* reader = session->GetReportData().get();
    QVxAnalogOscilloGraphViewModel* graph = m_owner->GetCurrentOscilloGraphViewModel();
    const bool inRange = reader && hit.dataIndex >= 0 &&
                         static_cast<std::uint64_t>(hit.dataIndex) < reader->GetTotalRecordCount();
    const std::uint8_t* record =
        inRange ? reader->ReadRecordByIndex(static_cast<std::uint64_t>(hit.dataIndex)) : nullptr;
    if (!record || !graph) return kUnreadableCell;
    if (column == 2) {
        return QVxUtils::MakeTimeToDisplayString(
            qvx::analog::DecodeRecord(record, reader->GetTimeWordIndex()).time, kTimeUnit);
    }
    const int channel = column - 4;
    return graph->OnMakeDisplayValue(channel, qvx::analog::DecodeChannel(record, channel));
}

bool QVxAnalogDisplayTriggerListModel::ExportCsv(const std::filesystem::path& path) const {
    const qvx::AnalogSession* session = m_owner ? m_owner->GetCurrentSession() : nullptr;
    if (session && session->IsOwnFile(path)) {
        spdlog::error("CSV export refused: {} is a file of the session being exported", path.string());
        return false;
    }
    QVxCsvFileWriter out;
    if (!out.Open(path)) return false;
    out.Append(kUtf8ByteOrderMark);
    for (int c = 0; c < kColumnCount; ++c) {
        if (c > 0) out.Append(',');
        out.Append(GetColumnText(c));
    }
    out.Append('\n');

    const std::size_t rows = GetRowCount();
    for (std::size_t row = 0; row < rows; ++row) {
        out.Append(GetText(row, 0));
        for (int c = 1; c < kColumnCount; ++c) {
            out.Append(",\"");
            // A quote inside a cell is doubled, as CSV readers expect.
            for (const char ch : GetText(row, c)) {
                if (ch == '"') out.Append('"');
                out.Append(ch);
            }
            out.Append('"');
        }
        out.Append('\n');
        if (!out.FlushIfFull()) break;
    }
    return out.Close();
}
