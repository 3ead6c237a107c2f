#pragma once
// The overview for the report commands that fold or search a report: built first where
// missing, stale or damaged, with a progress line on stderr when it is a terminal.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace qvx {
class ReportDataReader;
class ReportOverview;
}  // namespace qvx

namespace qvanalog {

// A whole number of the option's text (e.g. ns, mV); none when absent or not a number.
std::optional<std::int64_t> ParseSigned(const std::optional<std::string>& text);

// The report's overview, built first where needed; null when it cannot be stored (the
// command then reads every record).
std::shared_ptr<qvx::ReportOverview> OverviewFor(const qvx::ReportDataReader& reader);

// Runs `work` with the report's overview; when it fails because the overview turned out
// damaged, the damaged files are indexed again and `work` runs once more. False when it
// failed for good (a read error).
bool RunWithOverview(const qvx::ReportDataReader& reader,
                     const std::function<bool(qvx::ReportOverview*)>& work);

}  // namespace qvanalog
