#include "QV+Analog/QVxAnalogLooks.h"

#include <QApplication>
#include <QStyleFactory>

namespace QVxAnalogLooks {

namespace {

// A light palette around one window colour and one highlight.
QPalette LightPalette(const QColor& window, const QColor& highlight) {
    QPalette p(window);
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::AlternateBase, window.lighter(106));
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, QColor(255, 255, 225));
    p.setColor(QPalette::ToolTipText, Qt::black);
    return p;
}

QPalette DarkPalette() {
    QPalette p;
    const QColor window(45, 45, 48), base(30, 30, 30), text(220, 220, 220), disabled(120, 120, 120);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, window);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Link, QColor(86, 156, 214));
    p.setColor(QPalette::Highlight, QColor(0, 122, 204));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Light, window.lighter(150));
    p.setColor(QPalette::Midlight, window.lighter(125));
    p.setColor(QPalette::Mid, window.darker(120));
    p.setColor(QPalette::Dark, window.darker(150));
    p.setColor(QPalette::Shadow, Qt::black);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    return p;
}

}  // namespace

QPalette MakePalette(int look) {
    switch (look) {
        case kClassic:
            return LightPalette(QColor(212, 208, 200), QColor(10, 36, 106));
        case kStandard:
            return LightPalette(QColor(240, 240, 240), QColor(51, 153, 255));
        case kBlue:
            return LightPalette(QColor(213, 228, 242), QColor(49, 106, 197));
        case kBlack:
            return DarkPalette();
        case kSilver:
            return LightPalette(QColor(227, 230, 236), QColor(96, 110, 140));
        case kAqua:
            return LightPalette(QColor(218, 238, 240), QColor(0, 140, 150));
        default:
            return LightPalette(QColor(233, 238, 245), QColor(0, 120, 215));
    }
}

bool IsDarkLook(int look) {
    return look == kBlack;
}

void Apply(int look) {
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(MakePalette(look));
}

QColor TracingColor() {
    return QColor(214, 64, 52);
}
QColor ConnectedColor() {
    return QColor(46, 139, 87);
}
QColor IdleBorderColor() {
    return QColor(128, 128, 128);
}

qvx::Color ToColor(const QColor& color) {
    return qvx::Color{static_cast<std::uint8_t>(color.red()), static_cast<std::uint8_t>(color.green()),
                      static_cast<std::uint8_t>(color.blue()), static_cast<std::uint8_t>(color.alpha())};
}

}  // namespace QVxAnalogLooks
