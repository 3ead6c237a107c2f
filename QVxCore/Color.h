#pragma once
// An RGBA colour of the waveform view settings and its text form in the session
// settings file ("#AARRGGBB").

#include <cstdint>
#include <string>
#include <string_view>

namespace qvx {

// Four bytes in the order red, green, blue, alpha; as a 32-bit value 0xAABBGGRR.
// An alpha of 0 means "not set": the views then use the waveform style's colour.
struct Color {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    std::uint8_t a = 0;

    constexpr Color() = default;
    constexpr Color(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t alpha = 255)
        : r(red), g(green), b(blue), a(alpha) {}

    // From / to the little-endian 32-bit form 0xAABBGGRR.
    static constexpr Color FromRgba32(std::uint32_t abgr) {
        return Color(static_cast<std::uint8_t>(abgr), static_cast<std::uint8_t>(abgr >> 8),
                     static_cast<std::uint8_t>(abgr >> 16), static_cast<std::uint8_t>(abgr >> 24));
    }
    constexpr std::uint32_t ToRgba32() const {
        return static_cast<std::uint32_t>(r) | (static_cast<std::uint32_t>(g) << 8) |
               (static_cast<std::uint32_t>(b) << 16) | (static_cast<std::uint32_t>(a) << 24);
    }
    // From the text order #AARRGGBB written as one number 0xAARRGGBB.
    static constexpr Color FromArgb32(std::uint32_t argb) {
        return Color(static_cast<std::uint8_t>(argb >> 16), static_cast<std::uint8_t>(argb >> 8),
                     static_cast<std::uint8_t>(argb), static_cast<std::uint8_t>(argb >> 24));
    }

    constexpr bool IsSet() const { return a != 0; }

    // "#AARRGGBB" with upper-case hexadecimal digits.
    std::string ToText() const;

    // Reads #AARRGGBB, #RRGGBB (alpha 255), #ARGB and #RGB (each digit d standing for
    // d x 17), digits in either case; a character that is no hexadecimal digit counts
    // as 0. Any other length or a first character other than '#' yields 0xFFFFFFFF and
    // `ok` false (the caller logs the warning).
    static Color FromText(std::string_view text, bool* ok = nullptr);

    friend constexpr bool operator==(const Color&, const Color&) = default;
};

}  // namespace qvx
