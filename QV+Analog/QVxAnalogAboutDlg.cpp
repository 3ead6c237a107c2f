#include "QV+Analog/QVxAnalogAboutDlg.h"

#include "QV+Analog/QVxAppText.h"
#include "QVxWinCommon/DataClasses/QVxDeviceManager.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int kBannerHeight = 96;

QLabel* AddItem(QVBoxLayout* layout, QWidget* parent, int id, const QString& text, int points) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QVxWinGUI::ControlName(id));
    label->setFont(QVxWinGUI::GuiFont(points));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(label);
    return label;
}

}  // namespace

QVxAnalogAboutDlg::QVxAnalogAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("id100"));
    setWindowTitle(QVxAppString(kAppStringAboutTitle));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, kBannerHeight + 16, 24, 16);
    AddItem(layout, this, kProductLineId,
            QString::fromUtf8(kProductName) + QStringLiteral(" ") + QVX_APP_VERSION, 15);
    AddItem(layout, this, kLegalLineId, QString::fromUtf8(kLegalNotice), 10);
    AddItem(layout, this, kLibraryVersionLineId, FormatLibraryVersion(QueryLibraryVersion()), 10);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("id1"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    setFixedWidth(420);
}

QString QVxAnalogAboutDlg::FormatLibraryVersion(std::uint32_t version) {
    QString text = QStringLiteral("qvusb %1.%2.%3")
                       .arg(version >> 24)
                       .arg((version >> 16) & 0xFF)
                       .arg((version >> 8) & 0xFF);
    const std::uint32_t stage = version & 0xFF;
    if (stage == 10) text += QStringLiteral(" a");
    if (stage == 11) text += QStringLiteral(" b");
    return text;
}

std::uint32_t QVxAnalogAboutDlg::QueryLibraryVersion() {
    return QVxDeviceManager::GetVersions().library;
}

// The banner above the texts: this program's own artwork, a trace over a dark band.
void QVxAnalogAboutDlg::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect band(0, 0, width(), kBannerHeight);
    QLinearGradient gradient(band.topLeft(), band.bottomRight());
    gradient.setColorAt(0, QColor(18, 38, 64));
    gradient.setColorAt(1, QColor(30, 90, 120));
    painter.fillRect(band, gradient);
    QPainterPath trace;
    trace.moveTo(0, kBannerHeight * 0.65);
    for (int x = 0; x <= width(); x += 4) {
        const double phase = x / 28.0;
        trace.lineTo(x, kBannerHeight * 0.65 - 18 * std::sin(phase) * std::exp(-x / 500.0));
    }
    painter.setPen(QPen(QColor(120, 230, 160), 2));
    painter.drawPath(trace);
    painter.setPen(Qt::white);
    painter.setFont(QVxWinGUI::GuiFont(15));
    painter.drawText(band.adjusted(16, 10, -16, -10), Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("QV+Analog"));
}
