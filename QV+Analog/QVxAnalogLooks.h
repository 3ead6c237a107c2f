#pragma once
// The application looks of the View menu (ids 209, 210, 215-219) as Fusion
// palettes, and the state colours of the views that follow the trace. The black
// style (216) is the dark look. GUI thread only.

#include "QV+AnalogCore/QVxAppStrings.h"
#include "QVxCore/Color.h"

#include <QColor>
#include <QPalette>

namespace QVxAnalogLooks {

// A look's id is its command id and the id of its menu item's text.
inline constexpr int kClassic = kAppStringLookClassic;
inline constexpr int kStandard = kAppStringLookStandard;  // the default
inline constexpr int kBlue = kAppStringLookBlue;
inline constexpr int kBlack = kAppStringLookBlack;
inline constexpr int kSilver = kAppStringLookSilver;
inline constexpr int kAqua = kAppStringLookAqua;
inline constexpr int kWindows7 = kAppStringLookWindows7;

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
