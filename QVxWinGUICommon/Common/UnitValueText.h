#pragma once
// Text form of a unit-value field: a value in base units shown in a unit with a
// divisor and a number of decimal places, and the text read back. Pure functions.

#include "QVxWinGUICommon/QVxWinGUICommonExport.h"

#include <cstdint>
#include <optional>
#include <string>

namespace qvx::unitvalue {

// value / divisor as a decimal integer (truncated toward zero); with places >= 1
// and divisor >= 11 a "." and the next `places` digits follow, zero-padded.
// A value between -1 and 0 units keeps its sign ("-0.50").
QVXWINGUICOMMON_EXPORT std::string FormatValue(std::int64_t value, std::int64_t divisor, int places);

// The value in base units that `text` means, clamped to [minimum, maximum]:
// with divisor / 10^places >= 2 and places >= 1 a decimal number cut (floored) to
// `places` decimals, otherwise a whole number of units. Empty when the text
// cannot be read.
QVXWINGUICOMMON_EXPORT std::optional<std::int64_t> ParseValue(const std::string& text, std::int64_t divisor,
                                                              int places, std::int64_t minimum,
                                                              std::int64_t maximum);

}  // namespace qvx::unitvalue
