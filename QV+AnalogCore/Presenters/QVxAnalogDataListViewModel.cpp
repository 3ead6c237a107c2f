#include "QV+AnalogCore/Presenters/QVxAnalogDataListViewModel.h"

#include "QV+AnalogCore/Export/QVxAnalogHdf5Columns.h"
#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"
#include "QV+AnalogCore/Presenters/QVxAnalogRecordDecoding.h"
#include "QV+AnalogCore/Presenters/QVxCsvFileWriter.h"
#include "QVxCore/AnalogSession.h"
#include "QVxCore/Presenters/Interaction.h"
#include "QVxCore/Presenters/WaveformTrackPresenter.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportFile.h"
#include "QVxCore/Utils.h"
#include "QVxWinCommon/QVxClockTime.h"
#include "QVxWinCommon/QVxUtils.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <array>
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
    static constexpr std::int64_t kValues = std::int64_t{qvx::kRawSampleMax} + 1;  // every 14-bit code
    static constexpr std::size_t kSlotBytes = 23;  // longest text kept ("-40.000V" has 8)

    struct Slot {
        char text[kSlotBytes];
        std::uint8_t length;
    };

    // False (logged) when a text does not fit its slot.
    bool Build(QVxAnalogOscilloGraphViewModel& graph) {
        m_slots.resize(static_cast<std::size_t>(qvx::kRecordChannelCount * kValues));
        for (int c = 0; c < qvx::AnalogSettings::kChannelCount; ++c) {
            for (std::int64_t raw = -qvx::kRawSampleMidScale; raw < kValues - qvx::kRawSampleMidScale;
                 ++raw) {
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
        return static_cast<std::size_t>(channel * kValues + raw + qvx::kRawSampleMidScale);
    }
    Slot& At(int channel, std::int64_t raw) { return m_slots[Offset(channel, raw)]; }

    std::vector<Slot> m_slots;
};

// Bytes a row can take: number (20), time (2 + 26 with quotes, or 35 as a clock time), values (4 x (1 +
// slot)), separators and line end, rounded up.
constexpr std::size_t kMaxRowBytes = 192;

// Writes the CSV row of `record` (row number, quoted time, the four values, a line end) at
// `out`, which holds kMaxRowBytes; returns its length.
// The time cell of a CSV row: the time since the start in ns with "," groups, quoted, or
// with a clock origin the ISO 8601 clock time, which needs no quotes.
class CsvTimeCell {
public:
    explicit CsvTimeCell(std::optional<std::int64_t> clockOriginNs) : m_origin(clockOriginNs) {}

    char* Put(std::int64_t timeNs, char* p) {
        if (m_origin) return p + m_clock.Format(*m_origin + timeNs, p);
        *p++ = '"';
        p += QVxUtils::FormatTimeToDisplayString(timeNs, QVxAnalogDataListViewModel::kTimeUnit, p);
        *p++ = '"';
        return p;
    }

private:
    std::optional<std::int64_t> m_origin;
    QVxClockTime::Iso8601Formatter m_clock;
};

std::size_t FormatCsvRow(char* out, std::uint64_t rowNumber, const std::uint8_t* record,
                         std::int32_t timeWord, const ValueTextTable& values, CsvTimeCell& time) {
    char* p = std::to_chars(out, out + 20, rowNumber).ptr;
    *p++ = ',';
    p = time.Put(qvx::RecordTimeNs(record, static_cast<std::size_t>(timeWord)), p);
    for (int c = 0; c < qvx::AnalogSettings::kChannelCount; ++c) {
        *p++ = ',';
        p = values.Put(c, qvx::analog::DecodeChannel(record, c), p);
    }
    *p++ = '\n';
    return static_cast<std::size_t>(p - out);
}

// Records read per call while exporting: one block of the reader (128 KiB), so that a
// record that can no longer be read is met within a block of where reading stopped.
constexpr std::uint64_t kExportReadRecords = qvx::ReportFile::kBlockRecords;

// Reads the records [first, end) in pieces of kExportReadRecords and hands them on in
// runs: `visit(index, records, count)` gets `count` consecutive records from global index
// `index` on and returns how many it took; fewer than `count` stops the export. A piece
// that cannot be read is retried record by record, so that `unreadable` receives the
// index of exactly the first record that fails. False when a record could not be read;
// true otherwise (also when `visit` stopped early).
template <typename Visit>
bool ForEachRecordRun(qvx::ReportDataReader& reader, std::uint64_t first, std::uint64_t end,
                      std::uint64_t& unreadable, Visit&& visit) {
    std::vector<std::uint8_t> buffer;
    bool stopped = false;
    for (std::uint64_t piece = first; piece < end && !stopped;) {
        const std::uint64_t pieceEnd = std::min(end, piece + kExportReadRecords);
        std::uint64_t next = piece;
        const bool read =
            reader.ReadStoredRecordChunks(piece, pieceEnd, kExportReadRecords, buffer,
                                          [&](const std::uint8_t* records, std::uint64_t count) {
                                              if (stopped) return;
                                              const std::uint64_t taken = visit(next, records, count);
                                              next += taken;
                                              stopped = taken < count;
                                          });
        for (; !read && !stopped && next < pieceEnd; ++next) {
            const std::uint8_t* record = reader.ReadRecordByIndex(next);
            if (!record) {
                unreadable = next;
                return false;
            }
            stopped = visit(next, record, 1) < 1;
        }
        piece = pieceEnd;
    }
    return true;
}

// The same, one record at a time: `visit(index, record)` returns false to stop.
template <typename Visit>
bool ForEachRecord(qvx::ReportDataReader& reader, std::uint64_t first, std::uint64_t end,
                   std::uint64_t& unreadable, Visit&& visit) {
    return ForEachRecordRun(reader, first, end, unreadable,
                            [&](std::uint64_t index, const std::uint8_t* records, std::uint64_t count) {
                                for (std::uint64_t i = 0; i < count; ++i) {
                                    if (!visit(index + i, records + i * qvx::kReportRecordSize)) return i + 1;
                                }
                                return count;
                            });
}

std::optional<std::pair<std::uint64_t, std::uint64_t>> RowsOfTimeRangeIn(qvx::ReportDataReader& reader,
                                                                         std::int64_t fromNs,
                                                                         std::int64_t toNs) {
    if (fromNs < 0 || toNs < fromNs) return std::nullopt;
    const std::uint64_t first = FirstIndexOf(reader);
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

// Full-scale amplitude in V of `channel`: volts = code x 2F / 16383 - F (the codec's
// VoltsPerCode) reproduces the normalised value times F that the value texts are made from.
QVxAnalogHdf5Channel MakeHdf5Channel(const qvx::AnalogSettings& settings, int channel) {
    const auto c = static_cast<std::size_t>(channel);
    const auto& tracks = settings.visualSettings.tracks;
    const qvx::WaveformTrackVisualSettings track =
        c < tracks.size() ? tracks[c] : qvx::WaveformTrackVisualSettings{};
    QVxAnalogHdf5Channel out;
    out.name = qvx::WideToUtf8(track.name);
    out.rangeIndex = settings.channelVoltages[c];
    out.probeFactor = track.probeAttenuationRatio == 0 ? 1 : 10;
    out.rangeMilliVolts = settings.GetChannelRangeMilliVolts(channel);
    const double fullScaleVolts = out.rangeMilliVolts / 1000.0;
    out.scaleFactor = qvx::VoltsPerCode(fullScaleVolts);
    out.addOffset = -fullScaleVolts;
    out.enabled = track.enabled;
    return out;
}

// The saved settings file the data belongs to, absolute. A recording not saved yet (this
// run's trace or a recovered one) has no lasting place: its folder moves when it is saved.
std::string SourceSessionText(const qvx::AnalogSession& session) {
    if (session.IsFreshRecording() || session.GetSettingFilePath().empty()) return "unsaved";
    std::error_code ec;
    return std::filesystem::absolute(session.GetSettingFilePath(), ec).lexically_normal().string();
}

QVxAnalogHdf5Header MakeHdf5Header(const qvx::AnalogSession& session, const qvx::ReportDataReader& reader,
                                   std::uint64_t firstIndex, std::uint64_t recordCount) {
    QVxAnalogHdf5Header header;
    header.recordCount = recordCount;
    header.firstRecordIndex = firstIndex;
    header.startTimeNs = reader.GetStartTimeNs();
    header.samplingFrequency = session.GetSettings().GetSamplingFrequency();
    header.program = "QV+Analog";
    header.programVersion = QVX_EXPORT_PROGRAM_VERSION;
    header.sourceSession = SourceSessionText(session);
    for (int c = 0; c < qvx::AnalogSettings::kChannelCount; ++c)
        header.channels[static_cast<std::size_t>(c)] = MakeHdf5Channel(session.GetSettings(), c);
    return header;
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
                                           std::uint64_t* unreadableRow,
                                           std::optional<std::int64_t> clockOriginNs) const {
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
        header += ColumnTitle(c, clockOriginNs.has_value());
    }
    header += '\n';
    out.Append(header);

    const auto rows = static_cast<std::int64_t>(stop - start);
    std::uint64_t unreadable = 0;
    CsvTimeCell timeCell(clockOriginNs);
    const bool read = ForEachRecord(
        *reader, firstIndex + start, firstIndex + stop, unreadable,
        [&](std::uint64_t index, const std::uint8_t* record) {
            // The row is formatted in place at the end of the writer's buffer.
            char* const begin = out.Reserve(kMaxRowBytes);
            out.Commit(FormatCsvRow(begin, index + 1, record, timeWord, values, timeCell));
            const std::uint64_t done = index - firstIndex - start + 1;
            if (done % kProgressRowStride != 0 && index + 1 != firstIndex + stop) return true;
            if (!out.FlushIfFull()) return false;
            if (progress && !progress->SetProgress(static_cast<std::int64_t>(done), rows)) {
                spdlog::info("CSV export cancelled after {} of {} rows ({})", done, rows, path.string());
                return false;
            }
            return true;
        });
    if (!read) {
        // A stored record that cannot be read (a damaged or shrunk file): the export
        // fails here, keeping the rows before it.
        spdlog::error("CSV export stopped: the record of row {} cannot be read ({})", unreadable + 1,
                      session->GetReportFolderPath().string());
        if (unreadableRow) *unreadableRow = unreadable + 1;
        out.Close();
        return false;
    }
    if (!out.Close()) return false;
    return true;
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
    std::string ignored;
    std::string& why = error ? *error : ignored;
    why.clear();
    qvx::AnalogSession* session = m_owner ? m_owner->GetCurrentSession() : nullptr;
    if (!session || !session->GetReportData()) {
        why = "no report is open";
        return false;
    }
    if (session->IsOwnFile(path)) {
        why = path.string() + " is a file of the session being exported";
        spdlog::error("HDF5 export refused: {}", why);
        return false;
    }
    // A reader of its own, as for ExportCsv.
    const qvx::ReportDataReaderPtr reader = qvx::ReportDataReader::Open(session->GetReportFolderPath());
    if (!reader) {
        why = "cannot open the report in " + session->GetReportFolderPath().string();
        return false;
    }
    const std::uint64_t firstIndex = FirstIndexOf(*reader);
    const auto [start, stop] = ExportRowRange(firstRow, lastRow, RowCountOf(*reader));

    QVxAnalogHdf5Writer writer;
    if (!writer.Create(path, MakeHdf5Header(*session, *reader, firstIndex + start, stop - start), layout)) {
        why = writer.GetError();
        return false;
    }
    QVxAnalogHdf5Columns columns(writer, layout.chunkRecords, reader->GetTimeWordIndex());
    const auto rows = static_cast<std::int64_t>(stop - start);
    bool written = true;
    bool cancelled = false;
    std::uint64_t unreadable = 0;
    // Progress after every run of records (at most one read piece).
    const bool read = ForEachRecordRun(
        *reader, firstIndex + start, firstIndex + stop, unreadable,
        [&](std::uint64_t index, const std::uint8_t* records, std::uint64_t count) -> std::uint64_t {
            written = columns.Add(records, count);
            const std::uint64_t done = index + count - firstIndex - start;
            cancelled = written && progress && !progress->SetProgress(static_cast<std::int64_t>(done), rows);
            return written && !cancelled ? count : 0;
        });
    if (!read) {
        why = fmt::format("the record of row {} cannot be read", unreadable + 1);
        spdlog::error("HDF5 export stopped: {} ({})", why, session->GetReportFolderPath().string());
        if (unreadableRow) *unreadableRow = unreadable + 1;
        return false;
    }
    if (cancelled) {
        spdlog::info("HDF5 export cancelled; {} was not written", path.string());
        return false;
    }
    if (!written || !columns.Finish() || !writer.Finish()) {
        why = writer.GetError();
        return false;
    }
    if (progress) progress->SetProgress(rows, rows);
    return true;
}
