#pragma once
// Paging of the analog data list: a 64-bit row index shown through a list and a
// scroll bar that count in int. Rows are split into pages of kPageRows rows; the
// scroll bar holds the row within the current page and the page number is kept
// beside it. Pure arithmetic, no widgets; every result is clamped to 0...total - 1
// (0 for an empty list).

#include <algorithm>
#include <cstdint>

namespace AnalogDataListPaging {

inline constexpr std::uint64_t kPageRows = 2'147'483'647;
// Wheel units per row: a 120-unit notch moves 3 rows.
inline constexpr int kWheelUnitsPerRow = 40;

struct PagePosition {
    std::uint64_t page = 0;
    std::int32_t position = 0;  // row within the page, 0...kPageRows - 1

    friend bool operator==(const PagePosition&, const PagePosition&) = default;
};

inline PagePosition Split(std::uint64_t row) {
    return {row / kPageRows, static_cast<std::int32_t>(row % kPageRows)};
}

inline std::uint64_t Join(const PagePosition& p) {
    return p.page * kPageRows + static_cast<std::uint64_t>(p.position);
}

// `target` (may lie before 0 or past the end) clamped to 0...total - 1.
inline std::uint64_t ClampRow(std::int64_t target, std::uint64_t total) {
    if (total == 0 || target <= 0) return 0;
    return std::min(static_cast<std::uint64_t>(target), total - 1);
}

// Adds a signed row delta to `row` without overflowing, clamped to the list.
inline std::uint64_t MoveRow(std::uint64_t row, std::int64_t delta, std::uint64_t total) {
    if (total == 0) return 0;
    row = std::min(row, total - 1);
    if (delta < 0) {
        const std::uint64_t back = static_cast<std::uint64_t>(-(delta + 1)) + 1;
        return back >= row ? 0 : row - back;
    }
    const std::uint64_t ahead = static_cast<std::uint64_t>(delta);
    return ahead >= total - 1 - row ? total - 1 : row + ahead;
}

// Rows of page `page` (the scroll bar's range is 0...RowsInPage - 1).
inline std::int32_t RowsInPage(std::uint64_t total, std::uint64_t page) {
    const std::uint64_t start = page * kPageRows;
    if (page > total / kPageRows || start >= total) return 0;
    return static_cast<std::int32_t>(std::min(kPageRows, total - start));
}

enum class ScrollStep { LineUp, LineDown, PageUp, PageDown, Home, End };

// Vertical scroll bar actions on the top row `top`: a line is one row, a page is
// the bar's page size, home and end are the first and the last row.
inline std::uint64_t ScrollTarget(std::uint64_t total, std::uint64_t top, ScrollStep step, int pageSize) {
    const std::int64_t page = std::max(1, pageSize);
    switch (step) {
        case ScrollStep::LineUp:
            return MoveRow(top, -1, total);
        case ScrollStep::LineDown:
            return MoveRow(top, 1, total);
        case ScrollStep::PageUp:
            return MoveRow(top, -page, total);
        case ScrollStep::PageDown:
            return MoveRow(top, page, total);
        case ScrollStep::Home:
            return 0;
        case ScrollStep::End:
            return total == 0 ? 0 : total - 1;
    }
    return ClampRow(static_cast<std::int64_t>(top), total);
}

// The top row after a wheel turn of `delta` units (positive: away from the user,
// towards row 0): 3 rows per 120-unit notch.
inline std::uint64_t WheelTarget(std::uint64_t total, std::uint64_t top, int delta) {
    return MoveRow(top, -static_cast<std::int64_t>(delta / kWheelUnitsPerRow), total);
}

enum class SelectKey { PageUp, PageDown, End, Home, Up, Down };

// The row a key moves the selection `selected` to. Page Up / Down move by one row
// less than the visible rows (at least one), stopping at the ends.
inline std::uint64_t SelectionTarget(std::uint64_t total, std::uint64_t selected, SelectKey key,
                                     int visibleRows) {
    const std::int64_t page = std::max(1, visibleRows - 1);
    switch (key) {
        case SelectKey::PageUp:
            return MoveRow(selected, -page, total);
        case SelectKey::PageDown:
            return MoveRow(selected, page, total);
        case SelectKey::End:
            return total == 0 ? 0 : total - 1;
        case SelectKey::Home:
            return 0;
        case SelectKey::Up:
            return MoveRow(selected, -1, total);
        case SelectKey::Down:
            return MoveRow(selected, 1, total);
    }
    return ClampRow(static_cast<std::int64_t>(selected), total);
}

// The top row that shows `row`: unchanged while the row is visible above the
// last visible row; the row itself when it lies above the top; otherwise the
// row becomes the second-to-last visible row.
inline std::uint64_t TopRowToShow(std::uint64_t top, std::uint64_t row, int visibleRows) {
    if (row < top) return row;
    const std::uint64_t visible = static_cast<std::uint64_t>(std::max(1, visibleRows));
    if (row < top + visible - 1) return top;
    const std::uint64_t above = visible >= 2 ? visible - 2 : 0;
    return row > above ? row - above : 0;
}

}  // namespace AnalogDataListPaging
