#include "QVxWinCommon/QVxUtils.h"

#include "QVxCore/Utils.h"

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

}  // namespace

std::size_t FormatTimeToDisplayString(std::int64_t timeNs, int unit, char* out) {
    const std::int64_t quotient = timeNs / UnitDivisor(unit);  // truncates toward zero
    // The magnitude in unsigned arithmetic, so that INT64_MIN has one too.
    const bool negative = quotient < 0;
    std::uint64_t magnitude = negative ? std::uint64_t{0} - static_cast<std::uint64_t>(quotient)
                                       : static_cast<std::uint64_t>(quotient);

    // Digits from the right into a scratch buffer, a separator after every third.
    char scratch[kTimeTextCapacity];
    char* p = scratch + sizeof scratch;
    int digits = 0;
    do {
        if (digits > 0 && digits % 3 == 0) *--p = ',';
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
        ++digits;
    } while (magnitude != 0);
    if (negative) *--p = '-';

    const std::size_t length = static_cast<std::size_t>(scratch + sizeof scratch - p);
    for (std::size_t i = 0; i < length; ++i) out[i] = p[i];
    return length;
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
