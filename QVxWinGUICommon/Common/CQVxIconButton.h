#pragma once
// A push button that shows a PNG image centred on a background colour, with an
// optional border, when its own drawing is on; the standard look otherwise.

#include "QVxWinGUICommon/QVxWinGUICommonExport.h"

#include <QColor>
#include <QPixmap>
#include <QPushButton>

#include <memory>

class QVXWINGUICOMMON_EXPORT CQVxIconButton : public QPushButton {
    Q_OBJECT

public:
    explicit CQVxIconButton(QWidget* parent = nullptr);

    void SetImage(std::shared_ptr<QPixmap> image);
    // Loads the library's image `resourceId`; false when it cannot be loaded.
    bool SetImage(int resourceId);
    void SetOwnDrawing(bool on);
    void SetBackgroundColor(const QColor& color);
    QColor GetBackgroundColor() const { return m_background; }
    void SetBorder(bool on);
    bool HasImage() const { return m_image != nullptr; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::shared_ptr<QPixmap> m_image;
    bool m_ownDrawing = true;
    QColor m_background = Qt::white;
    bool m_border = false;
};
