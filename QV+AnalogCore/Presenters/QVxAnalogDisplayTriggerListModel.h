#pragma once
// The display-trigger list without its control: one row per hit of the session's
// hit list (row number, data number, time and pulse width in ns, the four channel
// values at the hit) and its CSV export (UTF-8 with byte-order mark). The list
// pane shows these texts. GUI thread: it reads through the session's reader.

#include "QV+AnalogCore/Presenters/IQVxAnalogListOwner.h"
#include "QVxCore/DisplayTriggerList.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace qvx {
class WrittenRecordReader;
}

class QVxAnalogDisplayTriggerListModel {
public:
    static constexpr int kColumnCount = 8;  // #, data number, time, width, CH1..CH4
    static constexpr int kTimeUnit = 3;     // ns

    // `owner` (the analog view model) must outlive this object.
    explicit QVxAnalogDisplayTriggerListModel(IQVxAnalogListOwner* owner);
    ~QVxAnalogDisplayTriggerListModel();

    // How the time column shows a clock time while the owner shows clock times: the
    // time of day in the list, ISO 8601 with the date and UTC offset in a CSV export.
    enum class TimeStyle { kList, kCsv };

    // "#", "データ番号", "Time[ns]" ("Time" while the owner shows clock times),
    // "WidthTime[ns]", "CH1".."CH4"; any other column is unreachable (throws).
    std::string GetColumnText(int column) const;

    // Hits in the session's list (0 without a session).
    std::size_t GetRowCount() const;

    // Cell text of hit `row`: its number from 1, its record index + 1, the
    // record's time in ns (the time of day while the owner shows clock times), the pulse width in ns ("-"
    // when 0 or less), the channel values. "-" for cells of a record that cannot be read (also while no
    // oscillograph view model exists). A row past the list gives "" (logged).
    // Any other column is unreachable (throws).
    std::string GetText(std::size_t row, int column) const;

    // The same cells for `hits`, copies of a running trace's hits: time and values are
    // read from the report files as far as they are written ("-" before that, and for a
    // file rotation removed).
    std::string GetLiveText(const qvx::AnalogDisplayTriggerList& hits, std::size_t row, int column,
                            TimeStyle style = TimeStyle::kList) const;
    // The same cells of one such hit, the `row`th.
    std::string GetLiveText(const qvx::AnalogDisplayTriggerItem& hit, std::size_t row, int column,
                            TimeStyle style = TimeStyle::kList) const;

    // Writes the byte-order mark EF BB BF, the header (titles joined by ","), then
    // one line per hit: the first cell as it is, every further cell as ","
    // followed by the text in double quotes; "\n" line ends. Clock times are written
    // as ISO 8601 with the date, ns and the UTC offset. False (logged) when
    // `path` is one of the session's own files (nothing is written) or the file
    // cannot be created or written completely.
    bool ExportCsv(const std::filesystem::path& path) const;
    // The same for the hits found so far by a running trace (see GetLiveText).
    bool ExportLiveCsv(const std::filesystem::path& path, const qvx::AnalogDisplayTriggerList& hits) const;

private:
    // The record of a global index, or null; and the word of the time stamp in the
    // records read.
    struct RecordSource {
        std::function<const std::uint8_t*(std::uint64_t)> read;
        std::function<std::int32_t()> timeWordIndex;
    };
    std::string HitText(const qvx::AnalogDisplayTriggerItem& hit, std::size_t row, int column,
                        const RecordSource& source, TimeStyle style) const;
    std::string StoredText(std::size_t row, int column, TimeStyle style) const;
    RecordSource LiveSource() const;
    bool WriteCsv(const std::filesystem::path& path, std::size_t rows,
                  const std::function<std::string(std::size_t, int)>& text) const;

    IQVxAnalogListOwner* m_owner;
    mutable std::unique_ptr<qvx::WrittenRecordReader> m_written;  // the running trace's files
};
