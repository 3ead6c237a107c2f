#include "QV+AnalogCore/Presenters/QVxAnalogBookmarkListModel.h"

#include "QV+AnalogCore/Export/QVxListCsv.h"
#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogRecordDecoding.h"
#include "QV+AnalogCore/QVxAppStrings.h"
#include "QVxCore/AnalogSession.h"
#include "QVxCore/Utils.h"
#include "QVxWinCommon/QVxClockTime.h"
#include "QVxWinCommon/QVxUtils.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include <algorithm>

using qvx::analog::kUnreadableCell;

QVxAnalogBookmarkListModel::QVxAnalogBookmarkListModel(IQVxAnalogListOwner* owner) : m_owner(owner) {
    QVX_VERIFY(owner);
}

std::string QVxAnalogBookmarkListModel::GetColumnText(int column) const {
    switch (column) {
        case kTimeColumn: {
            const std::string time(QVxLoadAppString(kAppStringBookmarkTimeHeader));
            return m_owner && m_owner->GetClockTimeOrigin()
                       ? time
                       : time + "[" + QVxUtils::MakeTimeUnitString(kTimeUnit) + "]";
        }
        case kNameColumn:
            return std::string(QVxLoadAppString(kAppStringBookmarkNameHeader));
        case kNoteColumn:
            return std::string(QVxLoadAppString(kAppStringBookmarkNoteHeader));
        case 3:
        case 4:
        case 5:
        case 6:
            return fmt::format("CH{}", column - 2);
        default:
            QVX_UNREACHABLE();
    }
}

void QVxAnalogBookmarkListModel::Refresh() {
    const qvx::AnalogSession* session = m_owner ? m_owner->GetCurrentSession() : nullptr;
    m_rows = session ? session->GetBookmarks() : qvx::AnalogBookmarkList{};
    std::stable_sort(m_rows.begin(), m_rows.end(), [](const auto& a, const auto& b) {
        return a.timeNSec != b.timeNSec ? a.timeNSec < b.timeNSec : a.id < b.id;
    });
}

std::int32_t QVxAnalogBookmarkListModel::GetId(std::size_t row) const {
    return row < m_rows.size() ? m_rows[row].id : 0;
}

int QVxAnalogBookmarkListModel::FindRow(std::int32_t id) const {
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].id == id) return static_cast<int>(i);
    return -1;
}

const qvx::AnalogBookmark* QVxAnalogBookmarkListModel::GetBookmark(std::size_t row) const {
    return row < m_rows.size() ? &m_rows[row] : nullptr;
}

std::string QVxAnalogBookmarkListModel::GetText(std::size_t row, int column, TimeStyle style) const {
    if (column < 0 || column >= kColumnCount) QVX_UNREACHABLE();
    if (row >= m_rows.size()) return {};
    const qvx::AnalogBookmark& b = m_rows[row];
    switch (column) {
        case kTimeColumn:
            if (const auto origin = m_owner->GetClockTimeOrigin()) {
                return style == TimeStyle::kCsv ? QVxClockTime::Iso8601(*origin + b.timeNSec)
                                                : QVxClockTime::TimeOfDay(*origin + b.timeNSec, 9);
            }
            return QVxUtils::MakeTimeToDisplayString(b.timeNSec, kTimeUnit);
        case kNameColumn:
            return b.name;
        case kNoteColumn:
            return b.note;
        default:
            return ValueText(b.timeNSec, column - 3);
    }
}

// The channel's value at the last record at or before `timeNSec`.
std::string QVxAnalogBookmarkListModel::ValueText(std::int64_t timeNSec, int channel) const {
    qvx::AnalogSession* session = m_owner->GetCurrentSession();
    QVxAnalogOscilloGraphViewModel* graph = m_owner->GetCurrentOscilloGraphViewModel();
    qvx::ReportDataReader* reader = session ? session->GetReportData().get() : nullptr;
    if (!reader || !graph || timeNSec < 0) return kUnreadableCell;
    std::uint64_t index = 0;
    std::uint64_t found = 0;
    if (!reader->FindIndexByTime(static_cast<std::uint64_t>(timeNSec) / 10, index, found))
        return kUnreadableCell;
    const std::uint8_t* record = reader->ReadRecordByIndex(index);
    if (!record) return kUnreadableCell;
    return graph->OnMakeDisplayValue(channel, qvx::analog::DecodeChannel(record, channel));
}

bool QVxAnalogBookmarkListModel::ExportCsv(const std::filesystem::path& path) const {
    QVxCsvFileWriter out;
    if (!StartListCsv(out, path, m_owner ? m_owner->GetCurrentSession() : nullptr, kColumnCount,
                      [this](int c) { return GetColumnText(c); }))
        return false;
    // Every cell quoted: the time has digit-group commas, names and notes anything.
    for (std::size_t row = 0; row < m_rows.size(); ++row) {
        for (int c = 0; c < kColumnCount; ++c) {
            if (c > 0) out.Append(',');
            AppendQuotedCell(out, GetText(row, c, TimeStyle::kCsv));
        }
        out.Append('\n');
        if (!out.FlushIfFull()) break;
    }
    return out.Close();
}
