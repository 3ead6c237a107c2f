#include "QVxCore/Color.h"

#include <fmt/format.h>

namespace qvx {

namespace {

// A character that is no hexadecimal digit counts as 0.
std::uint8_t HexDigit(char c) {
    if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<std::uint8_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<std::uint8_t>(c - 'A' + 10);
    return 0;
}

std::uint8_t HexByte(std::string_view text, std::size_t at) {
    return static_cast<std::uint8_t>(HexDigit(text[at]) * 16 + HexDigit(text[at + 1]));
}

std::uint8_t HexNibble(std::string_view text, std::size_t at) {
    return static_cast<std::uint8_t>(HexDigit(text[at]) * 17);
}

}  // namespace

std::string Color::ToText() const {
    return fmt::format("#{:02X}{:02X}{:02X}{:02X}", a, r, g, b);
}

Color Color::FromText(std::string_view text, bool* ok) {
    if (ok) *ok = true;
    if (!text.empty() && text[0] == '#') {
        switch (text.size()) {
            case 9:
                return Color(HexByte(text, 3), HexByte(text, 5), HexByte(text, 7), HexByte(text, 1));
            case 7:
                return Color(HexByte(text, 1), HexByte(text, 3), HexByte(text, 5), 255);
            case 5:
                return Color(HexNibble(text, 2), HexNibble(text, 3), HexNibble(text, 4), HexNibble(text, 1));
            case 4:
                return Color(HexNibble(text, 1), HexNibble(text, 2), HexNibble(text, 3), 255);
            default:
                break;
        }
    }
    if (ok) *ok = false;
    return FromRgba32(0xFFFFFFFF);
}

}  // namespace qvx
