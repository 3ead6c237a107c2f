#pragma once
// A colour button with a drop-down: an automatic entry (kGuiStringAutomaticColor, the colour given
// as the automatic one), a palette of standard colours and an "other" entry
// (kGuiStringOtherColor) that opens the full colour dialog. GUI thread only.

#include "QVxWinGUICommon/QVxWinGUICommonExport.h"

#include <QColor>
#include <QToolButton>

class QColorDialog;
class QMenu;

class QVXWINGUICOMMON_EXPORT QVxColorButton : public QToolButton {
    Q_OBJECT

public:
    explicit QVxColorButton(QWidget* parent = nullptr);

    void SetColor(const QColor& color);
    QColor GetColor() const { return m_color; }
    void SetAutomaticColor(const QColor& color) { m_automatic = color; }
    // True while its menu or its colour dialog is open (the popup then stays).
    bool IsChoosing() const { return m_choosing; }
    QMenu* Menu() const { return m_menu; }

Q_SIGNALS:
    // A colour was chosen by the user.
    void ColorChosen(const QColor& color);

private:
    void Choose(const QColor& color);
    void ChooseOther();

    QColor m_color;
    QColor m_automatic;
    QMenu* m_menu;
    bool m_choosing = false;
};
