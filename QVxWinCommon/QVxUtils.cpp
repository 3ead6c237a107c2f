#include "QVxWinCommon/QVxUtils.h"

#include "QVxCore/Utils.h"

#include <charconv>
#include <cstring>

namespace QVxUtils {

namespace {

std::int64_t UnitDivisor(int unit) {
    switch (unit) {
        case 0:
            return 1'000'000'000;
        case 1:
            return 1'000'000;
        case 2:
            return 1'000;
        case 3:
            return 1;
        default:
            QVX_UNREACHABLE();
    }
}

// ",000" to ",999": each group behind the leading one, copied as four bytes.
struct GroupTexts {
    char text[1000][4];
    constexpr GroupTexts() : text{} {
        for (int i = 0; i < 1000; ++i) {
            text[i][0] = ',';
            text[i][1] = static_cast<char>('0' + i / 100);
            text[i][2] = static_cast<char>('0' + i / 10 % 10);
            text[i][3] = static_cast<char>('0' + i % 10);
        }
    }
};
constexpr GroupTexts kGroupTexts;

}  // namespace

std::size_t FormatTimeToDisplayString(std::int64_t timeNs, int unit, char* out) {
    const std::int64_t divisor = UnitDivisor(unit);
    // ns (the data list's unit) needs no 64-bit division.
    const std::int64_t quotient = divisor == 1 ? timeNs : timeNs / divisor;  // truncates toward zero
    // The magnitude in unsigned arithmetic, so that INT64_MIN has one too.
    const bool negative = quotient < 0;
    std::uint64_t magnitude = negative ? std::uint64_t{0} - static_cast<std::uint64_t>(quotient)
                                       : static_cast<std::uint64_t>(quotient);

    // Groups of three digits, lowest first (a 64-bit value has at most seven).
    std::uint32_t groups[7];
    int count = 0;
    do {
        groups[count++] = static_cast<std::uint32_t>(magnitude % 1000);
        magnitude /= 1000;
    } while (magnitude != 0);

    char* p = out;
    if (negative) *p++ = '-';
    // The leading group without leading zeros, every further one as ",ddd".
    p = std::to_chars(p, p + 3, groups[count - 1]).ptr;
    for (int g = count - 2; g >= 0; --g) {
        std::memcpy(p, kGroupTexts.text[groups[g]], 4);
        p += 4;
    }
    return static_cast<std::size_t>(p - out);
}

std::string MakeTimeToDisplayString(std::int64_t timeNs, int unit) {
    char text[kTimeTextCapacity];
    return std::string(text, FormatTimeToDisplayString(timeNs, unit, text));
}

std::string MakeTimeUnitString(int unit) {
    switch (unit) {
        case 0:
            return "s";
        case 1:
            return "ms";
        case 2:
            return "us";
        case 3:
            return "ns";
        default:
            QVX_UNREACHABLE();
    }
}

}  // namespace QVxUtils
