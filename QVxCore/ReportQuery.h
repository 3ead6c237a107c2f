#pragma once
// The report query file a family application hands to another one to ask whether a
// report is open there: {"reportFullPath": "...", "commandResultFilePath": "..."}; the
// answer {"isReportOpen": true|false} goes to the result file. The query is written by
// another program and read as untrusted input. Runs on the calling thread.

#include <filesystem>
#include <optional>
#include <string>

namespace qvx {

struct ReportQuery {
    std::string reportFullPath;
    std::string commandResultFilePath;
};

// The query in `file`; none (logged) when it cannot be read, is no JSON object or lacks
// one of the two strings.
std::optional<ReportQuery> ReadReportQuery(const std::filesystem::path& file);

// Writes {"isReportOpen": isOpen} over `resultFile`; false (logged) when it cannot.
bool WriteReportQueryResult(const std::filesystem::path& resultFile, bool isOpen);

}  // namespace qvx
