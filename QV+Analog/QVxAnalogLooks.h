#pragma once
// The application looks of the View menu (ids 209, 210, 215-219) as Fusion
// palettes, and the state colours of the views that follow the trace. The black
// style (216) is the dark look. GUI thread only.

#include "QVxCore/Color.h"

#include <QColor>
#include <QPalette>

namespace QVxAnalogLooks {

inline constexpr int kClassic = 209;   // "クラシック(&C)"
inline constexpr int kStandard = 210;  // "標準(&T)", the default
inline constexpr int kBlue = 215;
inline constexpr int kBlack = 216;
inline constexpr int kSilver = 217;
inline constexpr int kAqua = 218;
inline constexpr int kWindows7 = 219;

// Any id outside 209, 210, 215-219 falls back to the Windows 7 look's palette.
QPalette MakePalette(int look);
bool IsDarkLook(int look);
// Applies the Fusion style and the look's palette to the whole application.
void Apply(int look);

// State colours: a trace runs on a connected unit; a unit is connected; otherwise.
QColor TracingColor();
QColor ConnectedColor();
QColor IdleBorderColor();
qvx::Color ToColor(const QColor& color);

}  // namespace QVxAnalogLooks
