#include "QVxWinGUICommon/Common/UnitValueText.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace qvx::unitvalue {

namespace {

constexpr int kMaxPlaces = 18;

__int128 Pow10(int places) {
    __int128 p = 1;
    for (int i = 0; i < places; ++i) p *= 10;
    return p;
}

std::int64_t Saturate(__int128 v) {
    constexpr auto lo = std::numeric_limits<std::int64_t>::min();
    constexpr auto hi = std::numeric_limits<std::int64_t>::max();
    return v < lo ? lo : (v > hi ? hi : static_cast<std::int64_t>(v));
}

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

}  // namespace

std::string FormatValue(std::int64_t value, std::int64_t divisor, int places) {
    divisor = std::max<std::int64_t>(divisor, 1);
    places = std::clamp(places, 0, kMaxPlaces);
    const std::int64_t whole = value / divisor;
    std::string text = std::to_string(whole);
    if (places >= 1 && divisor >= 11) {
        if (value < 0 && whole == 0) text = "-" + text;
        // The digits after the point: the remainder scaled to 10^places, truncated.
        __int128 rest = static_cast<__int128>(value % divisor);
        if (rest < 0) rest = -rest;
        const auto digits = static_cast<std::int64_t>(rest * Pow10(places) / divisor);
        std::string frac = std::to_string(digits);
        if (static_cast<int>(frac.size()) < places) frac.insert(0, places - frac.size(), '0');
        text += "." + frac;
    }
    return text;
}

std::optional<std::int64_t> ParseValue(const std::string& rawText, std::int64_t divisor, int places,
                                       std::int64_t minimum, std::int64_t maximum) {
    divisor = std::max<std::int64_t>(divisor, 1);
    places = std::clamp(places, 0, kMaxPlaces);
    const std::string text = Trim(rawText);
    if (text.empty()) return std::nullopt;
    const __int128 scale = Pow10(places);
    const __int128 actualDivisor = std::max<__int128>(divisor / scale, 1);
    __int128 value;
    char* end = nullptr;
    errno = 0;
    if (actualDivisor >= 2 && places >= 1) {
        const double x = std::strtod(text.c_str(), &end);
        if (end != text.c_str() + text.size() || !std::isfinite(x)) return std::nullopt;
        double y = x * static_cast<double>(scale);
        // 1.15 x 100 is 114.999... in binary: a product within rounding noise of a
        // whole number counts as that number before it is floored.
        const double nearest = std::round(y);
        if (std::fabs(y - nearest) <= 1e-9 * std::max(1.0, std::fabs(y))) y = nearest;
        y = std::floor(y);
        if (y >= 9.2e18 || y <= -9.2e18) {
            value =
                y > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
        } else {
            value = static_cast<__int128>(static_cast<std::int64_t>(y)) * divisor / scale;
        }
    } else {
        const long long n = std::strtoll(text.c_str(), &end, 10);
        if (end != text.c_str() + text.size()) return std::nullopt;
        value = errno == ERANGE
                    ? (n > 0 ? static_cast<__int128>(std::numeric_limits<std::int64_t>::max()) * divisor
                             : static_cast<__int128>(std::numeric_limits<std::int64_t>::min()) * divisor)
                    : static_cast<__int128>(n) * divisor;
    }
    return std::clamp(Saturate(value), minimum, std::max(minimum, maximum));
}

std::string FormatExactValue(std::int64_t value, std::int64_t divisor) {
    int places = 0;
    for (std::int64_t d = std::max<std::int64_t>(divisor, 1); d >= 10 && d % 10 == 0; d /= 10) ++places;
    std::string text = FormatValue(value, divisor, places);
    if (text.find('.') != std::string::npos) {
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.') text.pop_back();
        if (text == "-0") text = "0";
    }
    return text;
}

std::optional<std::int64_t> ParseExactValue(const std::string& rawText, std::int64_t divisor) {
    const std::string text = Trim(rawText);
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const double x = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(x)) return std::nullopt;
    const double y = std::round(x * static_cast<double>(std::max<std::int64_t>(divisor, 1)));
    if (y >= 9.2e18) return std::numeric_limits<std::int64_t>::max();
    if (y <= -9.2e18) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(y);
}

}  // namespace qvx::unitvalue
