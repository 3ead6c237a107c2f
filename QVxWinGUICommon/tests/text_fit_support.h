#pragma once
// Finds texts that do not fit their controls: a visible label, button, check box,
// group box title or combo box under a widget that is narrower than its text needs
// (its size hint; word-wrapped labels excepted: they wrap by design). The widget
// must have been shown and laid out.

#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QStringList>
#include <QWidget>

namespace text_fit {

inline QString TextOf(const QWidget* w) {
    if (const auto* label = qobject_cast<const QLabel*>(w))
        return label->wordWrap() ? QString() : label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(w)) return button->text();
    if (const auto* combo = qobject_cast<const QComboBox*>(w)) return combo->currentText();
    return {};
}

// "text (needs N px, has M px)" for each control whose text is cut.
inline QStringList ClippedTexts(const QWidget& root) {
    QStringList clipped;
    for (const QWidget* w : root.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&root)) continue;
        QString text = TextOf(w);
        int needed = w->sizeHint().width();
        if (const auto* push = qobject_cast<const QPushButton*>(w)) {
            // A push button's size hint has a style minimum (80 px) wider than many
            // short texts need: measure the text, its icon and the bevel instead.
            const int icon = push->icon().isNull() ? 0 : push->iconSize().width() + 4;
            needed = push->fontMetrics().horizontalAdvance(QString(text).remove(QLatin1Char('&'))) + icon + 8;
        }
        if (const auto* group = qobject_cast<const QGroupBox*>(w)) {
            text = group->title();
            needed = group->fontMetrics().horizontalAdvance(text) + 8;
        }
        if (text.isEmpty() || needed <= w->width()) continue;
        clipped << QStringLiteral("%1 (needs %2 px, has %3 px)").arg(text).arg(needed).arg(w->width());
    }
    return clipped;
}

// Shows `w` laid out: at its own size when it has a layout, else at the size it
// gives itself (the dialogs that place their controls by hand).
inline void ShowLaidOut(QWidget& w) {
    if (w.layout()) w.adjustSize();
    w.show();
    QApplication::processEvents();
}

// English texts for the life of the object, then Japanese again.
struct ScopedEnglish {
    ScopedEnglish() { QVxSetLanguage(QVxLanguage::kEnglish); }
    ~ScopedEnglish() { QVxSetLanguage(QVxLanguage::kJapanese); }
    ScopedEnglish(const ScopedEnglish&) = delete;
    ScopedEnglish& operator=(const ScopedEnglish&) = delete;
};

}  // namespace text_fit
