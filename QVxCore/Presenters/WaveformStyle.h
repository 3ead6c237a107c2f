#pragma once
// Colours of the waveform window: eleven palette slots in a light and a dark
// theme, and the marker colours. GUI thread only.

#include "QVxCore/Color.h"

#include <cstdint>

namespace qvx {

class WaveformPresenter;

class WaveformStyle {
public:
    static constexpr int kThemeCount = 2;  // 0 light, 1 dark

    // Palette slots: what the window paints in each.
    enum Slot : int {
        kSlotLabelBackground = 0,  // label column
        kSlotRulerBackground = 1,  // ruler, and the base of tinted bands
        kSlotSeparator = 2,        // separator lines
        kSlotText = 3,             // read-out text
        kSlotAreaBackground = 4,   // the area behind tracks and strips
        kSlotRule = 5,             // caption-band rule, flag outline
        kSlotSecondaryText = 6,    // time-per-division text, marker link line
        kSlotGrid = 7,             // grid lines
        kSlotSpare = 8,            // painted by nothing
        kSlotMarker1 = 9,          // M1 default; M2 is the next slot
        kSlotMarker2 = 10,
        kSlotCount = 11,
    };

    // Outline of the selected mark flag: one fixed colour that stands out on the rulers
    // of both themes and from the palette's marker colours.
    static constexpr Color kSelectedMarkHighlight{255, 140, 0};

    explicit WaveformStyle(WaveformPresenter* presenter);

    // Palette colour; a theme or slot out of range logs the failed check and gives
    // a transparent black (not set).
    static Color GetColor(int themeIndex, int slot);
    // Palette colour in this style's theme.
    Color GetColor(int slot) const { return GetColor(m_themeIndex, slot); }

    // The marker's own colour from the visual settings when it is set (alpha > 0),
    // else the palette's default for marker 0 (M1) or 1 (M2). Any other index is
    // unreachable and throws.
    Color GetMarkerColor(int marker) const;

    std::int32_t GetThemeIndex() const { return m_themeIndex; }
    // 0 or 1; anything else logs the failed check and keeps the theme.
    void SetThemeIndex(std::int32_t themeIndex);

    // Windows colour reference form: red | green << 8 | blue << 16.
    static std::uint32_t ToColorRef(const Color& color);

private:
    WaveformPresenter* m_presenter;
    std::int32_t m_themeIndex = 0;
};

}  // namespace qvx
