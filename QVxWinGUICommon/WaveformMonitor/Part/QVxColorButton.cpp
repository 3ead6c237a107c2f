#include "QVxWinGUICommon/WaveformMonitor/Part/QVxColorButton.h"

#include "QVxWinCommon/QVxGuiStrings.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QColorDialog>
#include <QGridLayout>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QWidgetAction>

namespace {

QIcon Swatch(const QColor& color, QSize size = QSize(14, 14)) {
    QPixmap pm(size);
    pm.fill(color);
    QPainter p(&pm);
    p.setPen(Qt::gray);
    p.drawRect(0, 0, size.width() - 1, size.height() - 1);
    return QIcon(pm);
}

// The standard palette offered below the automatic entry.
constexpr QRgb kPalette[] = {0x000000, 0x808080, 0xC0C0C0, 0xFFFFFF, 0x800000, 0xFF0000, 0x808000, 0xFFFF00,
                             0x008000, 0x00FF00, 0x008080, 0x00FFFF, 0x000080, 0x0000FF, 0x800080, 0xFF00FF};

}  // namespace

QVxColorButton::QVxColorButton(QWidget* parent) : QToolButton(parent) {
    setPopupMode(QToolButton::InstantPopup);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setIconSize(QSize(60, 12));
    m_menu = new QMenu(this);
    QAction* automatic = m_menu->addAction(QVxWinGUI::LoadStringW(kGuiStringAutomaticColor));
    automatic->setObjectName(QStringLiteral("automatic"));
    connect(automatic, &QAction::triggered, this, [this] { Choose(m_automatic); });

    auto* paletteAction = new QWidgetAction(m_menu);
    auto* palette = new QWidget(m_menu);
    auto* grid = new QGridLayout(palette);
    grid->setContentsMargins(4, 2, 4, 2);
    grid->setSpacing(2);
    int i = 0;
    for (QRgb rgb : kPalette) {
        auto* b = new QToolButton(palette);
        b->setIcon(Swatch(QColor(rgb)));
        b->setAutoRaise(true);
        connect(b, &QToolButton::clicked, this, [this, rgb] {
            m_menu->close();
            Choose(QColor(rgb));
        });
        grid->addWidget(b, i / 8, i % 8);
        ++i;
    }
    paletteAction->setDefaultWidget(palette);
    m_menu->addAction(paletteAction);

    QAction* other = m_menu->addAction(QVxWinGUI::LoadStringW(kGuiStringOtherColor));
    other->setObjectName(QStringLiteral("other"));
    connect(other, &QAction::triggered, this, &QVxColorButton::ChooseOther);
    connect(m_menu, &QMenu::aboutToShow, this, [this] { m_choosing = true; });
    connect(m_menu, &QMenu::aboutToHide, this, [this] { m_choosing = false; });
    setMenu(m_menu);
}

void QVxColorButton::SetColor(const QColor& color) {
    m_color = color;
    setIcon(Swatch(color, iconSize()));
}

void QVxColorButton::Choose(const QColor& color) {
    SetColor(color);
    Q_EMIT ColorChosen(color);
}

void QVxColorButton::ChooseOther() {
    m_choosing = true;
    const QColor chosen = QColorDialog::getColor(m_color, window());
    m_choosing = false;
    if (chosen.isValid()) Choose(chosen);
}
