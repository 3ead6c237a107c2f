#pragma once
// The analog data list: one row per stored record of the open report (number,
// time in ns and the four channel values as voltage texts). Its exports (CSV and HDF5)
// run through the export pipeline (QVxAnalogRowExport), which this list gives its
// titles and value texts; a time range picks the rows of the records it holds.
//
// Row r is the record with global index first + r, first being the first index of
// the report's first existing file (records before it were rotated away).
// Titles and cells: GUI thread, through the session's report reader. Exports: the
// progress dialog's worker thread; they read through a reader of their own, so that the
// list may repaint from the session's reader meanwhile.

#include "QV+AnalogCore/Export/QVxAnalogRowExport.h"
#include "QV+AnalogCore/Presenters/IQVxAnalogListOwner.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

namespace qvx {
class ProgressToken;
class ReportDataReader;
}  // namespace qvx

class QVxAnalogDataListViewModel {
public:
    static constexpr int kColumnCount = 6;  // #, time, CH1..CH4
    static constexpr int kTimeUnit = 3;     // ns
    // Rows written between two progress reports (and cancel checks) of an export.
    static constexpr std::uint64_t kProgressRowStride = QVxAnalogRowExport::kProgressRowStride;

    // `owner` (the analog view model) must outlive this object.
    explicit QVxAnalogDataListViewModel(IQVxAnalogListOwner* owner);

    // "#", "Time[ns]" ("Time" while the owner shows clock times), "CH1".."CH4"; any other
    // column is unreachable (throws).
    std::string GetColumnText(int column) const;
    static std::string ColumnTitle(int column, bool clockTime);
    // The owner's clock origin (none while times since the start are shown). GUI thread.
    std::optional<std::int64_t> GetClockTimeOrigin() const {
        return m_owner ? m_owner->GetClockTimeOrigin() : std::nullopt;
    }

    // Rows of the open report: its records from the first existing one on; 0
    // without a report.
    std::uint64_t GetRowCount() const;
    // Global record index of row 0 (0 without a report).
    std::uint64_t GetFirstIndex() const;

    // Cell text: the row number from 1 (first + row + 1), the time in ns with ","
    // groups (the time of day with nine fraction digits while the owner shows clock
    // times), or the channel's voltage text. "-" when the record cannot be read;
    // "" for the time and values while no oscillograph view model exists. Any
    // other column is unreachable (throws).
    std::string GetText(std::uint64_t row, int column) const;

    // Rows [start, stop) an export writes for the bounds `firstRow`, `lastRow`
    // (0-based rows; both negative: all rows) out of `rowCount` rows.
    static std::pair<std::uint64_t, std::uint64_t> ExportRowRange(std::int64_t firstRow, std::int64_t lastRow,
                                                                  std::uint64_t rowCount);

    // Exports the rows of `request` (the list fills in the CSV titles and value texts).
    // Without a report, or for CSV without an oscillograph view model, it fails. Worker
    // thread.
    QVxExportResult Export(QVxRowExportRequest request, qvx::ProgressToken* progress) const;

    // Export as CSV: writes the header "#,Time[ns],CH1,CH2,CH3,CH4" and the rows of the range to
    // `path` (created or truncated, UTF-8 without byte-order mark, "\n" line ends);
    // the time cell is quoted because of its "," groups. Reports (rows done, rows
    // of the range) through `progress` when given and stops when a cancel is
    // requested; the rows written so far stay and the result is true. False
    // (logged) without a report or oscillograph view model, when `path` is one of
    // the session's own files (nothing is written), when the file cannot be
    // created or written completely, or at the first record that cannot be read:
    // the rows before it stay and its row number ("#") goes to `unreadableRow`
    // when given. With `clockOriginNs` (the clock time of time 0, ns since 1970) the time
    // column is "Time" and holds ISO 8601 local clock times with ns and the UTC offset,
    // unquoted. Worker thread.
    bool ExportCsv(const std::filesystem::path& path, std::int64_t firstRow, std::int64_t lastRow,
                   qvx::ProgressToken* progress, std::uint64_t* unreadableRow = nullptr,
                   std::optional<std::int64_t> clockOriginNs = std::nullopt) const;

    // Rows [start, stop) of the records whose time (ns from the trace start: time stamp
    // x 10) lies in [fromNs, toNs], both ends included; empty when none does. None when
    // the range itself is invalid (fromNs negative or after toNs). GUI thread (the
    // session's reader); {0, 0} without a report.
    std::optional<std::pair<std::uint64_t, std::uint64_t>> RowsOfTimeRange(std::int64_t fromNs,
                                                                           std::int64_t toNs) const;

    // Writes the rows of the range (as for ExportCsv) to `path` as HDF5: "time_ns" and
    // "ch1".."ch4" with the session's scaling, track names, ranges and probes, chunked
    // and compressed by `layout`. The file takes the name `path` only when it is
    // complete: a cancel, a failure or an unreadable record (its row number goes to
    // `unreadableRow`) leave `path` as it was and return false; why goes to `error`
    // (empty after a cancel). Progress and cancel as for ExportCsv. Worker thread.
    bool ExportHdf5(const std::filesystem::path& path, std::int64_t firstRow, std::int64_t lastRow,
                    qvx::ProgressToken* progress, const QVxAnalogHdf5Layout& layout = {},
                    std::string* error = nullptr, std::uint64_t* unreadableRow = nullptr) const;

private:
    qvx::ReportDataReader* Reader() const;

    IQVxAnalogListOwner* m_owner;
};
