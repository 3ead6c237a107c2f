#pragma once
// The display-trigger list without its control: one row per hit of the session's
// hit list (row number, data number, time and pulse width in ns, the four channel
// values at the hit) and its CSV export (UTF-8 with byte-order mark). The list
// pane shows these texts. GUI thread: it reads through the session's reader.

#include "QV+AnalogCore/Presenters/IQVxAnalogListOwner.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

class QVxAnalogDisplayTriggerListModel {
public:
    static constexpr int kColumnCount = 8;  // #, data number, time, width, CH1..CH4
    static constexpr int kTimeUnit = 3;     // ns
    static constexpr int kDataNumberStringId = 25085;

    // `owner` (the analog view model) must outlive this object.
    explicit QVxAnalogDisplayTriggerListModel(IQVxAnalogListOwner* owner);

    // "#", "データ番号", "Time[ns]", "WidthTime[ns]", "CH1".."CH4"; any other column
    // is unreachable (throws).
    std::string GetColumnText(int column) const;

    // Hits in the session's list (0 without a session).
    std::size_t GetRowCount() const;

    // Cell text of hit `row`: its number from 1, its record index + 1, the
    // record's time in ns, the pulse width in ns ("-" when 0 or less), the channel
    // values. "-" for cells of a record that cannot be read (also while no
    // oscillograph view model exists). A row past the list gives "" (logged).
    // Any other column is unreachable (throws).
    std::string GetText(std::size_t row, int column) const;

    // Writes the byte-order mark EF BB BF, the header (titles joined by ","), then
    // one line per hit: the first cell as it is, every further cell as ","
    // followed by the text in double quotes; "\n" line ends. False (logged) when
    // `path` is one of the session's own files (nothing is written) or the file
    // cannot be created or written completely.
    bool ExportCsv(const std::filesystem::path& path) const;

private:
    IQVxAnalogListOwner* m_owner;
};
