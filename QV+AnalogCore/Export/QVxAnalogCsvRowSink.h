#pragma once
// The CSV sink of a data-list export: takes the record chunks of a walk and writes one row
// per record: the row number ("#": global index + 1), the time (ns since the start with ","
// groups, quoted, or with a clock origin the ISO 8601 local clock time with ns and the UTC
// offset, unquoted) and the four channels' value texts. UTF-8 without byte-order mark, "\n"
// line ends, through QVxCsvFileWriter (a temporary file that replaces the target when
// complete). Rows are formatted from a table of every value's text made once.
//
// Runs of up to kJobRecords consecutive records are formatted on worker threads, one per
// core (QVxOrderedWorkers), and their texts written in order, so the file is the same byte
// for byte as one formatted row by row. Every record handed to Consume is in the file after
// Finish. The public functions: the export's worker thread, one call at a time.

#include "QV+AnalogCore/Export/QVxCsvFileWriter.h"
#include "QV+AnalogCore/Export/QVxOrderedWorkers.h"
#include "QV+AnalogCore/Export/ReportRecordWalk.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QVxAnalogCsvRowSink {
public:
    // The value text of centred value `centred` (-8192..+8191) on channel 0..3.
    using ValueText = std::function<std::string(int channel, std::int64_t centred)>;

    QVxAnalogCsvRowSink();
    ~QVxAnalogCsvRowSink();
    QVxAnalogCsvRowSink(const QVxAnalogCsvRowSink&) = delete;
    QVxAnalogCsvRowSink& operator=(const QVxAnalogCsvRowSink&) = delete;

    // Makes the value texts, starts the file and writes `headerLine` (with its line end).
    // False, with why in `error`, when a value text is too long or the file cannot be created.
    bool Open(const std::filesystem::path& path, std::string_view headerLine, const ValueText& valueText,
              std::optional<std::int64_t> clockOriginNs, std::string& error);

    // Writes a row per record; false (stop) once the file cannot be written.
    bool Consume(const qvx::analog::RecordChunk& chunk);

    // Writes what is buffered and gives the file its name. False when a write failed.
    bool Finish();

    // Why the file could not be written (empty while it could).
    std::string GetError() const { return m_taskError.empty() ? m_out.GetError() : m_taskError; }

    // Records formatted by one task: 512 KiB of records, about 1.7 MB of text.
    static constexpr std::uint64_t kJobRecords = 32768;

private:
    class ValueTexts;
    class TimeCell;
    struct Job;

    // Worker thread: the rows of `job`.
    void Format(Job& job) const;
    // Hands the job being filled to a worker; waits for the oldest first when enough are
    // running.
    void SubmitFilling();
    // Writes the oldest submitted job's text, waiting for it; false once the file failed.
    bool WriteOldest();
    std::unique_ptr<Job> TakeFreeJob(std::uint64_t firstIndex);

    QVxCsvFileWriter m_out;
    std::unique_ptr<ValueTexts> m_values;
    std::optional<std::int64_t> m_clockOriginNs;
    std::size_t m_timeWord = 0;
    std::unique_ptr<Job> m_filling;              // records taken, not submitted yet
    std::deque<std::unique_ptr<Job>> m_running;  // submitted, in file order
    std::vector<std::unique_ptr<Job>> m_free;
    std::string m_taskError;
    // Last, so that its threads stop before the jobs they work on go.
    std::unique_ptr<QVxOrderedWorkers> m_workers;
};
