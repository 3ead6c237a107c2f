#include "QV+AnalogCore/Export/QVxAnalogCsvRowSink.h"

#include "QVxCore/ReportData/RecordCodec.h"
#include "QVxWinCommon/QVxClockTime.h"
#include "QVxWinCommon/QVxUtils.h"

#include <fmt/format.h>

#include <charconv>
#include <cstring>
#include <vector>

namespace {

constexpr int kTimeUnitNs = 3;  // the time column counts ns

// Bytes a row can take: number (20), time (2 + 26 with quotes, or 35 as a clock time), values
// (4 x (1 + slot)), separators and line end, rounded up.
constexpr std::size_t kMaxRowBytes = 192;

}  // namespace

// The voltage text of every centred value of every channel, made once per export, kept in
// fixed slots so that the row loop copies a constant number of bytes per value.
class QVxAnalogCsvRowSink::ValueTexts {
public:
    static constexpr std::int64_t kValues = std::int64_t{qvx::kRawSampleMax} + 1;  // every 14-bit code
    static constexpr std::size_t kSlotBytes = 23;  // longest text kept ("-40.000V" has 8)

    // False, with why in `error`, when a text does not fit its slot.
    bool Build(const ValueText& valueText, std::string& error) {
        m_slots.resize(qvx::kRecordChannelCount * kValues);
        for (std::size_t c = 0; c < qvx::kRecordChannelCount; ++c) {
            for (std::int64_t centred = -qvx::kRawSampleMidScale; centred < kValues - qvx::kRawSampleMidScale;
                 ++centred) {
                const std::string text = valueText(static_cast<int>(c), centred);
                if (text.size() > kSlotBytes) {
                    error = fmt::format("the value text \"{}\" is longer than {} bytes", text, kSlotBytes);
                    return false;
                }
                Slot& slot = m_slots[Offset(c, centred)];
                std::memcpy(slot.text, text.data(), text.size());
                slot.length = static_cast<std::uint8_t>(text.size());
            }
        }
        return true;
    }

    // Copies the text of the stored sample `raw` on `channel` to `out`, which has room for a
    // whole slot; returns the end of the text.
    char* Put(std::size_t channel, std::uint16_t raw, char* out) const {
        const Slot& slot = m_slots[Offset(channel, qvx::CentredSample(raw))];
        std::memcpy(out, slot.text, kSlotBytes);
        return out + slot.length;
    }

private:
    struct Slot {
        char text[kSlotBytes];
        std::uint8_t length;
    };

    static std::size_t Offset(std::size_t channel, std::int64_t centred) {
        return channel * kValues + static_cast<std::size_t>(centred + qvx::kRawSampleMidScale);
    }

    std::vector<Slot> m_slots;
};

// The time cell of a row.
class QVxAnalogCsvRowSink::TimeCell {
public:
    explicit TimeCell(std::optional<std::int64_t> clockOriginNs) : m_origin(clockOriginNs) {}

    char* Put(std::int64_t timeNs, char* p) {
        if (m_origin) return p + m_clock.Format(*m_origin + timeNs, p);
        *p++ = '"';
        p += QVxUtils::FormatTimeToDisplayString(timeNs, kTimeUnitNs, p);
        *p++ = '"';
        return p;
    }

private:
    std::optional<std::int64_t> m_origin;
    QVxClockTime::Iso8601Formatter m_clock;
};

QVxAnalogCsvRowSink::QVxAnalogCsvRowSink() = default;
QVxAnalogCsvRowSink::~QVxAnalogCsvRowSink() = default;

bool QVxAnalogCsvRowSink::Open(const std::filesystem::path& path, std::string_view headerLine,
                               const ValueText& valueText, std::optional<std::int64_t> clockOriginNs,
                               std::string& error) {
    m_values = std::make_unique<ValueTexts>();
    if (!m_values->Build(valueText, error)) return false;
    m_time = std::make_unique<TimeCell>(clockOriginNs);
    if (!m_out.Open(path)) {
        error = "cannot create " + path.string();
        return false;
    }
    m_out.Append(headerLine);
    return true;
}

bool QVxAnalogCsvRowSink::Consume(const qvx::analog::RecordChunk& chunk) {
    const std::uint8_t* record = chunk.records;
    for (std::uint64_t i = 0; i < chunk.count; ++i, record += qvx::kReportRecordSize) {
        // The row is formatted in place at the end of the writer's buffer.
        char* const begin = m_out.Reserve(kMaxRowBytes);
        char* p = std::to_chars(begin, begin + 20, chunk.firstIndex + i + 1).ptr;
        *p++ = ',';
        p = m_time->Put(qvx::RecordTimeNs(record, chunk.timeWord), p);
        for (std::size_t c = 0; c < qvx::kRecordChannelCount; ++c) {
            *p++ = ',';
            p = m_values->Put(c, qvx::RecordRawSample(record, c), p);
        }
        *p++ = '\n';
        m_out.Commit(static_cast<std::size_t>(p - begin));
    }
    return m_out.FlushIfFull();
}

bool QVxAnalogCsvRowSink::Finish() {
    return m_out.Close();
}
