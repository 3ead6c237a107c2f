#pragma once
// The CSV sink of a data-list export: takes the record chunks of a walk and writes one row
// per record: the row number ("#": global index + 1), the time (ns since the start with ","
// groups, quoted, or with a clock origin the ISO 8601 local clock time with ns and the UTC
// offset, unquoted) and the four channels' value texts. UTF-8 without byte-order mark, "\n"
// line ends, through QVxCsvFileWriter (a temporary file that replaces the target when
// complete). Rows are formatted in place in the writer's buffer from a table of every
// value's text made once. The export's worker thread, one call at a time.

#include "QV+AnalogCore/Export/QVxCsvFileWriter.h"
#include "QV+AnalogCore/Export/ReportRecordWalk.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

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
    std::string GetError() const { return m_out.GetError(); }

private:
    class ValueTexts;
    class TimeCell;

    QVxCsvFileWriter m_out;
    std::unique_ptr<ValueTexts> m_values;
    std::unique_ptr<TimeCell> m_time;
};
