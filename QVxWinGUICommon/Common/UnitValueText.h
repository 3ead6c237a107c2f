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

// Exact form for a divisor that is a power of ten: value / divisor with every
// digit the base unit keeps and no trailing zeros ("0.3" for 300,000 at 10^6,
// "1.5" for 1500 at 1000, "2" for 2000 at 1000).
QVXWINGUICOMMON_EXPORT std::string FormatExactValue(std::int64_t value, std::int64_t divisor);

// The value in base units that the decimal number `text` means in a unit of
// `divisor` base units, rounded to the nearest base unit and saturated to the
// 64-bit range (not clamped to a field's range). Empty when the text is not a
// number.
QVXWINGUICOMMON_EXPORT std::optional<std::int64_t> ParseExactValue(const std::string& text,
                                                                   std::int64_t divisor);

}  // namespace qvx::unitvalue
