#pragma once
// Small helpers shared by the painters of the waveform window.

#include "QVxCore/Color.h"
#include "QVxWinGUICommon/WaveformMonitor/TrackAreaGeometry.h"

#include <QColor>
#include <QPainter>
#include <QPolygon>
#include <QRect>

namespace qvx::trackarea {

inline QColor ToQColor(const Color& c) {
    return QColor(c.r, c.g, c.b);
}
inline QRect ToQRect(const PixRect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

inline void HLine(QPainter& p, int x0, int x1, int y) {
    p.drawLine(x0, y, x1 - 1, y);
}
inline void VLine(QPainter& p, int x, int y0, int y1) {
    p.drawLine(x, y0, x, y1 - 1);
}

// A flag pentagon with its shadow 1 pixel lower, outline and fill.
inline void DrawPentagon(QPainter& p, const QPolygon& shape, const QColor& outline, int outlineWidth,
                         const QColor& fill) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(64, 64, 64), 1));
    p.drawPolygon(shape.translated(0, 1));
    p.setPen(QPen(outline, outlineWidth));
    p.setBrush(fill);
    p.drawPolygon(shape);
    p.setBrush(Qt::NoBrush);
}

}  // namespace qvx::trackarea
