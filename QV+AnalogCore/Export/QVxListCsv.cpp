#include "QV+AnalogCore/Export/QVxListCsv.h"

#include "QVxCore/AnalogSession.h"

#include <spdlog/spdlog.h>

namespace {
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
}  // namespace

bool StartListCsv(QVxCsvFileWriter& out, const std::filesystem::path& path, const qvx::AnalogSession* session,
                  int columns, const std::function<std::string(int column)>& title) {
    if (session && session->IsOwnFile(path)) {
        spdlog::error("CSV export refused: {} is a file of the session being exported", path.string());
        return false;
    }
    if (!out.Open(path)) return false;
    out.Append(kUtf8ByteOrderMark);
    for (int c = 0; c < columns; ++c) {
        if (c > 0) out.Append(',');
        out.Append(title(c));
    }
    out.Append('\n');
    return true;
}

void AppendQuotedCell(QVxCsvFileWriter& out, std::string_view text) {
    out.Append('"');
    for (const char ch : text) {
        if (ch == '"') out.Append('"');
        out.Append(ch);
    }
    out.Append('"');
}
