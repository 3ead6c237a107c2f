#pragma once
// The CSV exports of the lists that hold a few rows each (display-trigger hits, bookmarks):
// UTF-8 with a byte-order mark (so spreadsheet programs read the Japanese titles), a title
// row, then one row per entry with its text cells quoted. Worker or GUI thread, whichever
// exports; one writer per file.

#include "QV+AnalogCore/Export/QVxCsvFileWriter.h"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace qvx {
class AnalogSession;
}

// Refuses a file of `session` (may be null), creates `out` at `path` and writes the byte-order
// mark and the titles `title(0)`..`title(columns - 1)`. False (logged) when refused or when
// the file cannot be created.
bool StartListCsv(QVxCsvFileWriter& out, const std::filesystem::path& path, const qvx::AnalogSession* session,
                  int columns, const std::function<std::string(int column)>& title);

// Appends `text` as a quoted cell: a quote inside it is doubled, as CSV readers expect.
void AppendQuotedCell(QVxCsvFileWriter& out, std::string_view text);
