#pragma once
// Arguments shared by the stored-report analysis commands (search, measure, cycles).

#include "Command.h"
#include "SessionSupport.h"

#include "QVxCore/AnalogSettings.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace qvanalog {

// Records with from <= t < to (ns).
struct TimeRange {
    std::int64_t from = 0;
    std::int64_t to = std::numeric_limits<std::int64_t>::max();
};

// The first "--word" that is not one of `known`.
std::optional<std::string> UnknownOption(const Args& args, const std::vector<std::string>& known);
// --from and --to (ns): both or, when `optional`, neither. An error text when refused.
std::optional<std::string> ParseRange(const Args& args, bool optional, TimeRange& out);
// Opens PATH; the settings come from the session, or are the defaults for a report folder.
std::optional<std::string> OpenPath(const Args& args, OpenedReport& opened, qvx::AnalogSettings& settings);

}  // namespace qvanalog
