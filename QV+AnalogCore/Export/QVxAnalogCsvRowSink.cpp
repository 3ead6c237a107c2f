#include "QV+AnalogCore/Export/QVxAnalogCsvRowSink.h"

#include "QVxCore/ReportData/RecordCodec.h"
#include "QVxWinCommon/QVxClockTime.h"
#include "QVxWinCommon/QVxUtils.h"

#include <fmt/format.h>

#include <algorithm>
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

// The time cell of a row. One per job: the clock formatter keeps the date of the last second.
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

// Consecutive records and, once a worker has formatted them, their rows.
struct QVxAnalogCsvRowSink::Job {
    std::uint64_t firstIndex = 0;  // global index of the first record
    std::uint64_t count = 0;
    std::vector<std::uint8_t> records = std::vector<std::uint8_t>(kJobRecords * qvx::kReportRecordSize);
    std::vector<char> text;  // grows to the longest job's text and keeps that size
    std::size_t textBytes = 0;
};

QVxAnalogCsvRowSink::QVxAnalogCsvRowSink() = default;

QVxAnalogCsvRowSink::~QVxAnalogCsvRowSink() {
    m_workers.reset();  // no task may run on the jobs while they go
}

bool QVxAnalogCsvRowSink::Open(const std::filesystem::path& path, std::string_view headerLine,
                               const ValueText& valueText, std::optional<std::int64_t> clockOriginNs,
                               std::string& error) {
    m_values = std::make_unique<ValueTexts>();
    if (!m_values->Build(valueText, error)) return false;
    m_clockOriginNs = clockOriginNs;
    if (!m_out.Open(path)) {
        error = "cannot create " + path.string();
        return false;
    }
    m_out.Append(headerLine);
    m_workers = std::make_unique<QVxOrderedWorkers>();
    return true;
}

void QVxAnalogCsvRowSink::Format(Job& job) const {
    TimeCell time(m_clockOriginNs);
    if (job.text.size() < job.count * 64) job.text.resize(job.count * 64);
    job.textBytes = 0;
    const std::uint8_t* record = job.records.data();
    for (std::uint64_t i = 0; i < job.count; ++i, record += qvx::kReportRecordSize) {
        if (job.text.size() - job.textBytes < kMaxRowBytes)
            job.text.resize(job.text.size() * 2 + kMaxRowBytes);
        char* const begin = job.text.data() + job.textBytes;
        char* p = std::to_chars(begin, begin + 20, job.firstIndex + i + 1).ptr;
        *p++ = ',';
        p = time.Put(qvx::RecordTimeNs(record, m_timeWord), p);
        for (std::size_t c = 0; c < qvx::kRecordChannelCount; ++c) {
            *p++ = ',';
            p = m_values->Put(c, qvx::RecordRawSample(record, c), p);
        }
        *p++ = '\n';
        job.textBytes += static_cast<std::size_t>(p - begin);
    }
}

std::unique_ptr<QVxAnalogCsvRowSink::Job> QVxAnalogCsvRowSink::TakeFreeJob(std::uint64_t firstIndex) {
    std::unique_ptr<Job> job;
    if (m_free.empty()) {
        job = std::make_unique<Job>();
    } else {
        job = std::move(m_free.back());
        m_free.pop_back();
    }
    job->firstIndex = firstIndex;
    job->count = 0;
    return job;
}

void QVxAnalogCsvRowSink::SubmitFilling() {
    // Two jobs per worker keep every worker busy while the oldest is written.
    while (m_running.size() >= 2 * std::size_t{m_workers->GetWorkerCount()}) WriteOldest();
    Job* job = m_filling.get();
    m_workers->Submit([this, job] { Format(*job); });
    m_running.push_back(std::move(m_filling));
}

bool QVxAnalogCsvRowSink::WriteOldest() {
    std::unique_ptr<Job> job = std::move(m_running.front());
    m_running.pop_front();
    if (!m_workers->TakeOldest() && m_taskError.empty()) m_taskError = "the rows could not be formatted";
    if (m_taskError.empty()) m_out.Append(std::string_view(job->text.data(), job->textBytes));
    m_free.push_back(std::move(job));
    return m_taskError.empty() && m_out.FlushIfFull();
}

bool QVxAnalogCsvRowSink::Consume(const qvx::analog::RecordChunk& chunk) {
    m_timeWord = chunk.timeWord;
    const std::uint8_t* records = chunk.records;
    std::uint64_t index = chunk.firstIndex;
    for (std::uint64_t left = chunk.count; left > 0;) {
        if (m_filling &&
            (m_filling->count == kJobRecords || m_filling->firstIndex + m_filling->count != index))
            SubmitFilling();
        if (!m_filling) m_filling = TakeFreeJob(index);
        const std::uint64_t n = std::min(left, kJobRecords - m_filling->count);
        std::memcpy(m_filling->records.data() + m_filling->count * qvx::kReportRecordSize, records,
                    n * qvx::kReportRecordSize);
        m_filling->count += n;
        records += n * qvx::kReportRecordSize;
        index += n;
        left -= n;
    }
    return m_taskError.empty() && m_out.FlushIfFull();
}

bool QVxAnalogCsvRowSink::Finish() {
    if (m_filling && m_filling->count > 0) SubmitFilling();
    while (!m_running.empty()) WriteOldest();
    const bool closed = m_out.Close();
    return closed && m_taskError.empty();
}
