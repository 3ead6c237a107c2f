#include "QVxWinGUICommon/WaveformMonitor/Part/QVxWaveformMarkerSettingDlg.h"

#include "QVxCore/Presenters/WaveformPresenter.h"
#include "QVxCore/WaveformVisualSettings.h"
#include "QVxWinCommon/QVxClockTime.h"
#include "QVxWinCommon/QVxUtils.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/TrackAreaGeometry.h"

#include <QCheckBox>
#include <QLabel>
#include <QStyle>
#include <QStyleOptionButton>
#include <QVBoxLayout>

#include <fmt/format.h>

#include <algorithm>

QVxWaveformMarkerSettingDlg::QVxWaveformMarkerSettingDlg(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("dlg%1").arg(kTemplateId));
    setFont(QVxWinGUI::GuiFont(kFontPoints));
    auto* grid = new QVBoxLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    static const char* const kCaptions[2] = {"Marker1 (M1)", "Marker2 (M2)"};
    for (int i = 0; i < 2; ++i) {
        auto* box = new QCheckBox(QString::fromLatin1(kCaptions[i]), this);
        box->setObjectName(QVxWinGUI::ControlName(kCheckIds[i]));
        box->setFixedSize(kBoxWidth, kBoxHeight);
        grid->addWidget(box);
        m_boxes[static_cast<std::size_t>(i)] = box;
        connect(box, &QCheckBox::toggled, this, [this, i](bool on) {
            if (m_updating || !m_presenter) return;
            m_presenter->SetMarkerEnabled(i, on);
            UpdateTexts();
        });
    }
    // The difference on a row of its own, its text under the boxes' texts.
    m_difference = new QLabel(this);
    m_difference->setObjectName(QVxWinGUI::ControlName(kDifferenceLabelId));
    m_difference->setFixedHeight(kBoxHeight);
    QStyleOptionButton option;
    option.initFrom(m_boxes[1]);
    const int indent = style()->subElementRect(QStyle::SE_CheckBoxContents, &option, m_boxes[1]).left();
    m_difference->setContentsMargins(std::max(0, indent), 0, 0, 0);
    grid->addWidget(m_difference);
    grid->addStretch(1);
    // The owner sizes the strip (the label column's width); texts beyond it are cut off.
    resize(kBoxWidth, 3 * kBoxHeight);
}

QVxWaveformMarkerSettingDlg::~QVxWaveformMarkerSettingDlg() {
    Disconnect();
}

void QVxWaveformMarkerSettingDlg::Disconnect() {
    if (m_viewportConnection) m_viewportConnection->Disconnect();
    if (m_scaleConnection) m_scaleConnection->Disconnect();
    m_viewportConnection.reset();
    m_scaleConnection.reset();
}

void QVxWaveformMarkerSettingDlg::Setup(qvx::WaveformPresenter* presenter) {
    Disconnect();
    m_presenter = presenter;
    if (m_presenter) {
        m_viewportConnection = m_presenter->ViewportChanged.Connect([this] { UpdateTexts(); });
        m_scaleConnection = m_presenter->ScaleChanged.Connect([this] { UpdateTexts(); });
    }
    UpdateTexts();
}

void QVxWaveformMarkerSettingDlg::UpdateTexts() {
    const qvx::WaveformVisualSettings* vs = m_presenter ? m_presenter->GetVisualSettings() : nullptr;
    if (!vs) return;
    // The ruler's unit: from the time per pixel (the settings' timeScale, which
    // every zoom stores) for the analog usage, else the settings' own unit.
    const int unit =
        qvx::trackarea::ChooseTimeUnit(m_presenter->GetUsage() == qvx::WaveformUsage::kAnalog, vs->timeScale,
                                       std::min(static_cast<int>(vs->timeUnit), 3));
    const std::string unitText = QVxUtils::MakeTimeUnitString(unit);
    const auto& m1 = vs->markers[0];
    const auto& m2 = vs->markers[1];
    // A marker's time as the ruler shows it: the time of day in clock-time mode.
    const std::optional<std::int64_t> origin = m_presenter->OnGetClockOrigin();
    const auto pointText = [&](std::int64_t t) {
        return QVxClockTime::PointInTime(origin, t, unit, vs->timeScale);
    };
    const std::string text1 = fmt::format("Marker1 (M1): {}", pointText(m1.time));
    const std::string text2 = fmt::format("Marker2 (M2): {}", pointText(m2.time));
    std::string diff;
    if (m1.enabled && m2.enabled) {
        diff = fmt::format("(M2-M1: {} {})", QVxUtils::MakeTimeToDisplayString(m2.time - m1.time, unit),
                           unitText);
    }

    m_updating = true;
    m_boxes[0]->setText(QString::fromStdString(text1));
    m_boxes[1]->setText(QString::fromStdString(text2));
    m_difference->setText(QString::fromStdString(diff));
    // A label column narrower than the texts still tells them in full on hover.
    setToolTip(
        QString::fromStdString(diff.empty() ? text1 + "\n" + text2 : text1 + "\n" + text2 + "\n" + diff));
    m_boxes[0]->setChecked(m1.enabled);
    m_boxes[1]->setChecked(m2.enabled);
    m_updating = false;
}
