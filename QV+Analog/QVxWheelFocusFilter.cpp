#include "QV+Analog/QVxWheelFocusFilter.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QEvent>
#include <QWidget>

void QVxWheelFocusFilter::Install(QWidget* root) {
    if (!root) return;
    auto* filter = new QVxWheelFocusFilter(root);
    QList<QWidget*> controls;
    for (QComboBox* combo : root->findChildren<QComboBox*>()) controls.push_back(combo);
    for (QAbstractSpinBox* spin : root->findChildren<QAbstractSpinBox*>()) controls.push_back(spin);
    for (QWidget* control : controls) {
        control->setFocusPolicy(Qt::StrongFocus);
        control->installEventFilter(filter);
    }
}

// An ignored wheel event goes on to the parents, up to the scroll area that holds them.
bool QVxWheelFocusFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Wheel) return false;
    const auto* control = qobject_cast<QWidget*>(watched);
    if (!control || control->hasFocus()) return false;
    event->ignore();
    return true;
}
