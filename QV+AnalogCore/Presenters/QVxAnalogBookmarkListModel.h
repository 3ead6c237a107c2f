#pragma once
// The bookmarks pane without its control: one row per bookmark of the session, in the
// order of their times (ties by id): time in ns (the time of day while clock times are
// shown), name, note and the four channel values of the record at or before that time;
// and its CSV export (UTF-8 with byte-order mark), as the display-trigger list exports.
// GUI thread: it reads through the session's reader.

#include "QV+AnalogCore/Presenters/IQVxAnalogListOwner.h"
#include "QVxCore/Bookmarks.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class QVxAnalogBookmarkListModel {
public:
    static constexpr int kColumnCount = 7;  // time, name, note, CH1..CH4
    static constexpr int kTimeColumn = 0;
    static constexpr int kNameColumn = 1;
    static constexpr int kNoteColumn = 2;
    static constexpr int kTimeUnit = 3;  // ns

    // `owner` (the analog view model) must outlive this object.
    explicit QVxAnalogBookmarkListModel(IQVxAnalogListOwner* owner);

    // The titles of the columns in the program's language.
    std::string GetColumnText(int column) const;

    // Re-reads the session's bookmarks into rows sorted by time; call after they changed.
    void Refresh();
    std::size_t GetRowCount() const { return m_rows.size(); }
    // The bookmark shown in `row`, or 0 past the list.
    std::int32_t GetId(std::size_t row) const;
    // The row of bookmark `id`, or -1.
    int FindRow(std::int32_t id) const;
    const qvx::AnalogBookmark* GetBookmark(std::size_t row) const;

    enum class TimeStyle { kList, kCsv };
    // Cell text; "-" for values of a record that cannot be read; "" past the list.
    std::string GetText(std::size_t row, int column, TimeStyle style = TimeStyle::kList) const;

    // Header line, then one line per row, every cell quoted (quotes doubled). False (logged) when `path` is a
    // file of the session or cannot be written completely.
    bool ExportCsv(const std::filesystem::path& path) const;

private:
    std::string ValueText(std::int64_t timeNSec, int channel) const;

    IQVxAnalogListOwner* m_owner;
    std::vector<qvx::AnalogBookmark> m_rows;
};
