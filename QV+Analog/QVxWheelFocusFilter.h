#pragma once
// Combo boxes and spin boxes of a scrolled pane take the mouse wheel only while they
// have the keyboard focus: scrolling the pane with the pointer passing over one of
// them scrolls the pane and leaves its value alone (a probe or range changed by the
// wheel would only show at the next trace start). GUI thread only.

#include <QObject>

class QWidget;

class QVxWheelFocusFilter : public QObject {
    Q_OBJECT

public:
    // Every combo box and spin box below `root` (those there now) gets the strong focus
    // policy, so that the wheel does not focus it, and the filter on its wheel events.
    // The filter is a child of `root`.
    static void Install(QWidget* root);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit QVxWheelFocusFilter(QObject* parent) : QObject(parent) {}
};
