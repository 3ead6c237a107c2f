#include "QVxWinGUICommon/Common/PopupPlacement.h"

#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace QVxPopupPlacement {

namespace {

// `first` moved inward along one axis so that [first, first + length) lies within
// [low, high); the low end wins when the length exceeds the range.
int Clamp(int first, int length, int low, int high) {
    return std::max(low, std::min(first, high - length));
}

}  // namespace

QRect PlaceOnScreen(const QSize& size, const QRect& anchor, Side side, const QRect& screen) {
    const int w = size.width();
    const int h = size.height();
    const int screenRight = screen.left() + screen.width();   // one past the last column
    const int screenBottom = screen.top() + screen.height();  // one past the last row
    int x = 0;
    int y = 0;
    if (side == Side::kRight) {
        x = anchor.left() + anchor.width();
        y = anchor.top();
        if (x + w > screenRight && anchor.left() - w >= screen.left()) x = anchor.left() - w;
    } else {
        x = anchor.left();
        y = anchor.top() + anchor.height();
        if (y + h > screenBottom && anchor.top() - h >= screen.top()) y = anchor.top() - h;
    }
    x = Clamp(x, w, screen.left(), screenRight);
    y = Clamp(y, h, screen.top(), screenBottom);
    return QRect(x, y, w, h);
}

void PlacePopup(QWidget* popup, const QWidget* parent, const QRect& anchor, Side side) {
    if (!popup || !parent) return;
    // A popup laid out by its layout knows its size only once that layout ran.
    if (popup->layout()) popup->layout()->activate();
    QSize size = popup->size();
    if (!popup->testAttribute(Qt::WA_Resized) && !popup->layout()) size = popup->sizeHint();
    const QRect global(parent->mapToGlobal(anchor.topLeft()), anchor.size());
    QScreen* screen = parent->screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(global.topLeft(), size);
    popup->move(PlaceOnScreen(size, global, side, area).topLeft());
}

}  // namespace QVxPopupPlacement
