#pragma once
// Placement of the program's popups (the track settings popup, the device selector's
// list): beside or below the control that opens them, flipped to the other side and
// then moved inward so that the whole popup stays on the available area of the screen
// its parent is on. GUI thread only.

#include "QVxWinGUICommon/QVxWinGUICommonExport.h"

#include <QRect>
#include <QSize>

class QWidget;

namespace QVxPopupPlacement {

// Where the popup goes first, relative to the control that opens it (`anchor`, in
// global pixels).
enum class Side {
    kRight,  // top-left at the anchor's top-right; flipped to the anchor's left side
    kBelow,  // top-left at the anchor's bottom-left; flipped above the anchor
};

// The popup's global rectangle of `size`: at `side` of `anchor`, on the other side when
// it would leave `screen` there and fits on that side, then moved inward so that it lies
// within `screen` (its top-left corner wins when it is larger than the screen).
QVXWINGUICOMMON_EXPORT QRect PlaceOnScreen(const QSize& size, const QRect& anchor, Side side,
                                           const QRect& screen);

// Moves `popup` (a top-level window) to PlaceOnScreen with its size (as laid out for
// showing), `anchor` given in `parent`'s coordinates, on the available geometry of the
// screen `parent` is on (the primary screen when it has none).
QVXWINGUICOMMON_EXPORT void PlacePopup(QWidget* popup, const QWidget* parent, const QRect& anchor, Side side);

}  // namespace QVxPopupPlacement
