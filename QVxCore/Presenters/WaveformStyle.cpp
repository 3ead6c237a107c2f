#include "QVxCore/Presenters/WaveformStyle.h"

#include "QVxCore/Presenters/WaveformPresenter.h"
#include "QVxCore/Utils.h"
#include "QVxCore/WaveformVisualSettings.h"

#include <array>

namespace qvx {

namespace {

using Palette = std::array<std::array<Color, WaveformStyle::kSlotCount>, WaveformStyle::kThemeCount>;

// Shades of the Material Design palette, fully opaque.
constexpr Color Rgb(std::uint32_t rrggbb) {
    return Color::FromArgb32(0xFF000000u | rrggbb);
}
constexpr Color kWhite = Rgb(0xFFFFFF);
constexpr Color kGrey50 = Rgb(0xFAFAFA);
constexpr Color kGrey100 = Rgb(0xF5F5F5);
constexpr Color kGrey200 = Rgb(0xEEEEEE);
constexpr Color kGrey300 = Rgb(0xE0E0E0);
constexpr Color kGrey400 = Rgb(0xBDBDBD);
constexpr Color kGrey500 = Rgb(0x9E9E9E);
constexpr Color kGrey600 = Rgb(0x757575);
constexpr Color kGrey700 = Rgb(0x616161);
constexpr Color kGrey800 = Rgb(0x424242);
constexpr Color kGrey900 = Rgb(0x212121);
constexpr Color kIndigo200 = Rgb(0x9FA8DA);
constexpr Color kIndigo400 = Rgb(0x5C6BC0);
constexpr Color kTeal200 = Rgb(0x80CBC4);
constexpr Color kTeal400 = Rgb(0x26A69A);

const Palette& ThePalette() {
    // Built once per process on first use.
    static const Palette palette = {{
        {kWhite, kGrey50, kGrey500, kGrey800, kGrey200, kGrey400, kGrey600, kGrey400, kGrey600, kIndigo400,
         kTeal400},
        {kGrey900, kGrey700, kGrey500, kGrey100, kGrey800, kGrey900, kGrey300, kGrey700, kGrey500, kIndigo200,
         kTeal200},
    }};
    return palette;
}

}  // namespace

WaveformStyle::WaveformStyle(WaveformPresenter* presenter) : m_presenter(presenter) {}

Color WaveformStyle::GetColor(int themeIndex, int slot) {
    QVX_CHECK_RETURN(themeIndex >= 0 && themeIndex < kThemeCount, Color());
    QVX_CHECK_RETURN(slot >= 0 && slot < kSlotCount, Color());
    return ThePalette()[static_cast<std::size_t>(themeIndex)][static_cast<std::size_t>(slot)];
}

Color WaveformStyle::GetMarkerColor(int marker) const {
    if (marker != 0 && marker != 1) QVX_UNREACHABLE();
    const WaveformVisualSettings* settings = m_presenter ? m_presenter->GetVisualSettings() : nullptr;
    if (settings) {
        const Color own = settings->markers[static_cast<std::size_t>(marker)].color;
        if (own.IsSet()) return own;
    }
    return GetColor(kSlotMarker1 + marker);
}

void WaveformStyle::SetThemeIndex(std::int32_t themeIndex) {
    QVX_CHECK(themeIndex >= 0 && themeIndex < kThemeCount);
    m_themeIndex = themeIndex;
}

std::uint32_t WaveformStyle::ToColorRef(const Color& color) {
    return static_cast<std::uint32_t>(color.r) | (static_cast<std::uint32_t>(color.g) << 8) |
           (static_cast<std::uint32_t>(color.b) << 16);
}

}  // namespace qvx
