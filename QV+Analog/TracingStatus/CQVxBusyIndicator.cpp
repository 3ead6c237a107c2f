#include "QV+Analog/TracingStatus/CQVxBusyIndicator.h"

#include <QPainter>

#include <cmath>
#include <numbers>

CQVxBusyIndicator::CQVxBusyIndicator(QWidget* parent) : QWidget(parent) {
    setFixedSize(kSize, kSize);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CQVxBusyIndicator::Advance() {
    m_step = (m_step + 1) % kDotCount;
    update();
}

void CQVxBusyIndicator::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const QPointF centre(kSize / 2.0, kSize / 2.0);
    const double radius = kSize / 2.0 - 4.0;
    for (int i = 0; i < kDotCount; ++i) {
        // The dot at m_step is darkest; the ones behind it fade out.
        const int age = (m_step - i + kDotCount) % kDotCount;
        const int alpha = 255 - age * (200 / kDotCount);
        const double angle = 2.0 * std::numbers::pi * i / kDotCount - std::numbers::pi / 2.0;
        p.setBrush(QColor(0x30, 0x50, 0x90, alpha));
        p.drawEllipse(centre + QPointF(std::cos(angle), std::sin(angle)) * radius, 3.0, 3.0);
    }
}
