#pragma once
// The 30 x 30 busy animation shown while a unit is connecting: a ring of dots
// whose bright dot moves one step per Advance (the owner's 100 ms timer).
// GUI thread only.

#include <QWidget>

class CQVxBusyIndicator : public QWidget {
    Q_OBJECT

public:
    static constexpr int kSize = 30;
    static constexpr int kDotCount = 8;

    explicit CQVxBusyIndicator(QWidget* parent = nullptr);

    void Advance();
    int Step() const { return m_step; }
    QSize sizeHint() const override { return QSize(kSize, kSize); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_step = 0;
};
