#include "QVxWinGUICommon/Common/CQVxIconButton.h"

#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QPainter>

CQVxIconButton::CQVxIconButton(QWidget* parent) : QPushButton(parent) {
    setFlat(true);
}

void CQVxIconButton::SetImage(std::shared_ptr<QPixmap> image) {
    m_image = std::move(image);
    update();
}

bool CQVxIconButton::SetImage(int resourceId) {
    auto image = QVxUtils::LoadImageFromResource(resourceId);
    SetImage(image);
    return image != nullptr;
}

void CQVxIconButton::SetOwnDrawing(bool on) {
    m_ownDrawing = on;
    update();
}

void CQVxIconButton::SetBackgroundColor(const QColor& color) {
    if (color == m_background) return;
    m_background = color;
    update();
}

void CQVxIconButton::SetBorder(bool on) {
    m_border = on;
    update();
}

void CQVxIconButton::paintEvent(QPaintEvent* event) {
    if (!m_ownDrawing) {
        QPushButton::paintEvent(event);
        return;
    }
    QPainter p(this);
    p.fillRect(rect(), isDown() ? m_background.darker(110) : m_background);
    if (m_image) {
        const QPoint at((width() - m_image->width()) / 2, (height() - m_image->height()) / 2);
        p.drawPixmap(at, *m_image);
    }
    if (m_border) {
        p.setPen(QColor(192, 192, 192));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}
