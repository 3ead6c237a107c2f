#include "QV+AnalogCore/Presenters/QVxAnalogDataListViewModel.h"

#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogRecordDecoding.h"
#include "QV+AnalogCore/Presenters/QVxCsvFileWriter.h"
#include "QVxCore/AnalogSession.h"
#include "QVxCore/Presenters/Interaction.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportFormat.h"
#include "QVxCore/Utils.h"
#include "QVxWinCommon/QVxUtils.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <vector>

namespace {

constexpr std::string_view kUnreadableCell = "-";

// Global index of the first record of the first existing file.
std::uint64_t FirstIndexOf(const qvx::ReportDataReader& reader) {
    const auto& files = reader.GetFiles();
    const auto slot = static_cast<std::size_t>(reader.GetFirstFileIndex());
    return slot < files.size() && files[slot] ? files[slot]->GetFirstIndex() : 0;
}

std::uint64_t RowCountOf(const qvx::ReportDataReader& reader) {
    const std::uint64_t first = FirstIndexOf(reader);
    const std::uint64_t total = reader.GetTotalRecordCount();
    return total > first ? total - first : 0;
}

// The voltage text of every centred raw value of every channel, made once per
// export through the oscillograph view model, kept in fixed slots so that the row
// loop copies a constant number of bytes per value.
class ValueTextTable {
public:
    static constexpr std::int64_t kValues = 16384;
    static constexpr std::size_t kSlotBytes = 23;  // longest text kept ("-40.000V" has 8)

    struct Slot {
        char text[kSlotBytes];
        std::uint8_t length;
    };

    // False (logged) when a text does not fit its slot.
    bool Build(QVxAnalogOscilloGraphViewModel& graph) {
        m_slots.resize(static_cast<std::size_t>(qvx::analog::kChannelCount * kValues));
        for (int c = 0; c < qvx::analog::kChannelCount; ++c) {
            for (std::int64_t raw = -qvx::analog::kSampleMidScale;
                 raw < kValues - qvx::analog::kSampleMidScale; ++raw) {
                const std::string text = graph.OnMakeDisplayValue(c, raw);
                if (text.size() > kSlotBytes) {
                    spdlog::error("CSV export: value text \"{}\" is longer than {} bytes", text, kSlotBytes);
                    return false;
                }
                Slot& slot = At(c, raw);
                std::memcpy(slot.text, text.data(), text.size());
                slot.length = static_cast<std::uint8_t>(text.size());
            }
        }
        return true;
    }

    // Copies the text of `raw` (centred) on `channel` to `out`, which has room for
    // a whole slot; returns the end of the text.
    char* Put(int channel, std::int64_t raw, char* out) const {
        const Slot& slot = m_slots[Offset(channel, raw)];
        std::memcpy(out, slot.text, kSlotBytes);
        return out + slot.length;
    }

private:
    static std::size_t Offset(int channel, std::int64_t raw) {
        return static_cast<std::size_t>(channel * kValues + raw + qvx::analog::kSampleMidScale);
    }
    Slot& At(int channel, std::int64_t raw) { return m_slots[Offset(channel, raw)]; }

    std::vector<Slot> m_slots;
};

// Bytes a row can take: number (20), time with quotes (2 + 26), values (4 x (1 + slot)),
// separators and line end, rounded up.
constexpr std::size_t kMaxRowBytes = 192;

// Writes the CSV row of `record` (row number, quoted time, the four values, a line end) at
// `out`, which holds kMaxRowBytes; returns its length.
std::size_t FormatCsvRow(char* out, std::uint64_t rowNumber, const std::uint8_t* record,
                         std::int32_t timeWord, const ValueTextTable& values) {
    char* p = std::to_chars(out, out + 20, rowNumber).ptr;
    *p++ = ',';
    *p++ = '"';
    const auto stamp = qvx::LoadLE64(record + 8 * timeWord) & qvx::kRecordTimeMask;
    p += QVxUtils::FormatTimeToDisplayString(
        static_cast<std::int64_t>(stamp) * qvx::analog::kNanosecondsPerTick,
        QVxAnalogDataListViewModel::kTimeUnit, p);
    *p++ = '"';
    for (int c = 0; c < qvx::analog::kChannelCount; ++c) {
        *p++ = ',';
        const std::uint16_t sample =
            qvx::LoadLE16(record + qvx::kRecordOffsetSamples + 2 * static_cast<std::size_t>(c));
        p = values.Put(c, qvx::analog::CenteredRawValue(sample), p);
    }
    *p++ = '\n';
    return static_cast<std::size_t>(p - out);
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
    switch (column) {
        case 0:
            return "#";
        case 1:
            return "Time[" + QVxUtils::MakeTimeUnitString(kTimeUnit) + "]";
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
    return reader ? RowCountOf(*reader) : 0;
}

std::uint64_t QVxAnalogDataListViewModel::GetFirstIndex() const {
    const qvx::ReportDataReader* reader = Reader();
    return reader ? FirstIndexOf(*reader) : 0;
}

std::string QVxAnalogDataListViewModel::GetText(std::uint64_t row, int column) const {
    if (column < 0 || column >= kColumnCount) QVX_UNREACHABLE();
    qvx::ReportDataReader* reader = Reader();
    const std::uint64_t index = (reader ? FirstIndexOf(*reader) : 0) + row;
    if (column == 0) return fmt::format_int(index + 1).str();

    QVxAnalogOscilloGraphViewModel* graph = m_owner ? m_owner->GetCurrentOscilloGraphViewModel() : nullptr;
    if (!reader || !graph) return {};
    const std::uint8_t* record =
        index < reader->GetTotalRecordCount() ? reader->ReadRecordByIndex(index) : nullptr;
    if (!record) return std::string(kUnreadableCell);
    if (column == 1) {
        const auto decoded = qvx::analog::DecodeRecord(record, reader->GetTimeWordIndex());
        return QVxUtils::MakeTimeToDisplayString(decoded.time, kTimeUnit);
    }
    const int channel = column - 2;
    return graph->OnMakeDisplayValue(channel, qvx::analog::DecodeChannel(record, channel));
}

std::pair<std::uint64_t, std::uint64_t> QVxAnalogDataListViewModel::ExportRowRange(std::int64_t firstRow,
                                                                                   std::int64_t lastRow,
                                                                                   std::uint64_t rowCount) {
    if (firstRow < 0 && lastRow < 0) return {0, rowCount};
    const std::uint64_t start = firstRow < 0 ? 0 : std::min(static_cast<std::uint64_t>(firstRow), rowCount);
    // clamp(last + 1, 0, N), without overflowing at INT64_MAX.
    std::uint64_t end = 0;
    if (lastRow >= 0)
        end = static_cast<std::uint64_t>(lastRow) >= rowCount ? rowCount
                                                              : static_cast<std::uint64_t>(lastRow) + 1;
    return {start, std::max(start, end)};
}

bool QVxAnalogDataListViewModel::ExportCsv(const std::filesystem::path& path, std::int64_t firstRow,
                                           std::int64_t lastRow, qvx::ProgressToken* progress,
                                           std::uint64_t* unreadableRow) const {
    qvx::AnalogSession* session = m_owner ? m_owner->GetCurrentSession() : nullptr;
    QVX_CHECK_RETURN(session && session->GetReportData(), false);
    QVxAnalogOscilloGraphViewModel* graph = m_owner->GetCurrentOscilloGraphViewModel();
    QVX_CHECK_RETURN(graph, false);

    // A reader of its own: the session's reader is not safe for concurrent use and
    // the GUI thread keeps reading through it while this runs.
    const qvx::ReportDataReaderPtr reader = qvx::ReportDataReader::Open(session->GetReportFolderPath());
    if (!reader) {
        spdlog::error("CSV export: cannot open the report in {}", session->GetReportFolderPath().string());
        return false;
    }
    const std::uint64_t firstIndex = FirstIndexOf(*reader);
    const auto [start, stop] = ExportRowRange(firstRow, lastRow, RowCountOf(*reader));
    const std::int32_t timeWord = reader->GetTimeWordIndex();

    ValueTextTable values;
    if (!values.Build(*graph)) return false;
    if (session->IsOwnFile(path)) {
        spdlog::error("CSV export refused: {} is a file of the session being exported", path.string());
        return false;
    }
    QVxCsvFileWriter out;
    if (!out.Open(path)) return false;

    std::string header;
    for (int c = 0; c < kColumnCount; ++c) {
        if (c > 0) header += ',';
        header += GetColumnText(c);
    }
    header += '\n';
    out.Append(header);

    const auto rows = static_cast<std::int64_t>(stop - start);
    for (std::uint64_t row = start; row < stop; ++row) {
        const std::uint64_t index = firstIndex + row;
        const std::uint8_t* record = reader->ReadRecordByIndex(index);
        if (!record) {
            // A stored record that cannot be read (a damaged or shrunk file): the
            // export fails here, keeping the rows before it.
            spdlog::error("CSV export stopped: the record of row {} cannot be read ({})", index + 1,
                          session->GetReportFolderPath().string());
            if (unreadableRow) *unreadableRow = index + 1;
            out.Close();
            return false;
        }

        // The row is formatted in place at the end of the writer's buffer.
        char* const begin = out.Reserve(kMaxRowBytes);
        out.Commit(FormatCsvRow(begin, index + 1, record, timeWord, values));

        const std::uint64_t done = row - start + 1;
        if (done % kProgressRowStride == 0 || row + 1 == stop) {
            if (!out.FlushIfFull()) break;
            if (progress && !progress->SetProgress(static_cast<std::int64_t>(done), rows)) {
                spdlog::info("CSV export cancelled after {} of {} rows ({})", done, rows, path.string());
                break;
            }
        }
    }
    if (!out.Close()) return false;
    return true;
}
