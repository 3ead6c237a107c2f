#include "QVxWinGUICommon/WaveformMonitor/Part/QVxWaveformTrackSettingPopupDlg.h"

#include "QVxCore/Presenters/WaveformTrackPresenter.h"
#include "QVxCore/WaveformVisualSettings.h"
#include "QVxWinCommon/QVxGuiStrings.h"
#include "QVxWinGUICommon/QVxWinGUI.h"
#include "QVxWinGUICommon/WaveformMonitor/PaintSupport.h"
#include "QVxWinGUICommon/WaveformMonitor/Part/QVxColorButton.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>

#include <cmath>

using qvx::trackarea::ToQColor;
using QVxWinGUI::MakeLabel;

namespace {

// Alpha 255 marks a colour as set (an unset background uses the style's colour).
qvx::Color FromQColor(const QColor& c) {
    return qvx::Color(static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
                      static_cast<std::uint8_t>(c.blue()), 255);
}

}  // namespace

QVxWaveformTrackSettingPopupDlg::QVxWaveformTrackSettingPopupDlg(std::uint32_t usage, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::FramelessWindowHint), m_usage(usage) {
    setObjectName(QStringLiteral("dlg%1").arg(kTemplateId));
    setFont(QVxWinGUI::GuiFont(9));
    // Its own background for its controls, as a raised panel.
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xF4, 0xF4, 0xF4));
    setPalette(pal);

    m_grid = new QGridLayout(this);
    m_grid->setContentsMargins(4, 4, 4, 4);
    m_grid->setSpacing(4);
    m_name = new QLineEdit(this);
    m_name->setObjectName(QVxWinGUI::ControlName(kNameId));
    m_lineColor = new QVxColorButton(this);
    m_lineColor->setObjectName(QVxWinGUI::ControlName(kLineColorId));
    m_backColor = new QVxColorButton(this);
    m_backColor->setObjectName(QVxWinGUI::ControlName(kBackColorId));
    m_grid->addWidget(MakeLabel(this, kNameLabelId, kGuiStringTrackName), 0, 0);
    m_grid->addWidget(m_name, 0, 1);
    m_grid->addWidget(MakeLabel(this, kLineColorLabelId, kGuiStringTrackColor), 1, 0);
    m_grid->addWidget(m_lineColor, 1, 1, Qt::AlignLeft);
    m_grid->addWidget(MakeLabel(this, kBackColorLabelId, kGuiStringTrackBackground), 2, 0);
    m_grid->addWidget(m_backColor, 2, 1, Qt::AlignLeft);
    if (m_usage == 1) {
        m_scalingLabel = MakeLabel(this, kScalingLabelId, kGuiStringVerticalScaling);
        m_scaling = new QComboBox(this);
        m_scaling->setObjectName(QVxWinGUI::ControlName(kScalingId));
        for (const Scaling& s : kScalings) m_scaling->addItem(QString::fromLatin1(s.label));
        m_grid->addWidget(m_scalingLabel, 3, 0);
        m_grid->addWidget(m_scaling, 3, 1);
        connect(m_scaling, &QComboBox::currentIndexChanged, this, [this](int index) {
            if (m_loading || !m_track || index < 0) return;
            m_track->SetVerticalScaling(kScalings[index].factor);
            Q_EMIT TrackSettingsChanged();
        });
    }
    m_name->setMinimumWidth(160);

    connect(m_name, &QLineEdit::textEdited, this, [this] { WriteBack(); });
    connect(m_lineColor, &QVxColorButton::ColorChosen, this, [this] { WriteBack(); });
    connect(m_backColor, &QVxColorButton::ColorChosen, this, [this] { WriteBack(); });
    // The popup is as large as its grid plus the 4-pixel margins on each side.
    m_grid->setSizeConstraint(QLayout::SetFixedSize);
}

int QVxWaveformTrackSettingPopupDlg::NearestScalingIndex(double scaling) {
    int best = 0;
    for (int i = 1; i < static_cast<int>(std::size(kScalings)); ++i) {
        if (std::abs(kScalings[i].factor - scaling) < std::abs(kScalings[best].factor - scaling)) best = i;
    }
    return best;
}

void QVxWaveformTrackSettingPopupDlg::Load(qvx::WaveformTrackPresenter* track) {
    m_track = track;
    const qvx::WaveformTrackVisualSettings* vs = track ? track->GetVisualSettings() : nullptr;
    if (!vs) {
        m_track = nullptr;
        return;
    }
    m_loading = true;
    m_name->setText(QString::fromStdString(qvx::WideToUtf8(vs->name)));
    m_lineColor->SetColor(ToQColor(vs->lineColor));
    m_lineColor->SetAutomaticColor(ToQColor(vs->lineColor));
    m_backColor->SetColor(ToQColor(vs->backgroundColor));
    m_backColor->SetAutomaticColor(ToQColor(vs->backgroundColor));
    if (m_scaling) m_scaling->setCurrentIndex(NearestScalingIndex(vs->verticalScaling));
    m_loading = false;
}

void QVxWaveformTrackSettingPopupDlg::WriteBack() {
    if (m_loading || !m_track) return;
    qvx::WaveformTrackVisualSettings* vs = m_track->GetVisualSettings();
    if (!vs) return;
    vs->name = m_name->text().toStdWString();
    vs->lineColor = FromQColor(m_lineColor->GetColor());
    // An untouched background keeps its alpha (unset means the style's colour).
    const qvx::Color back = FromQColor(m_backColor->GetColor());
    if (back.r != vs->backgroundColor.r || back.g != vs->backgroundColor.g ||
        back.b != vs->backgroundColor.b || sender() == m_backColor) {
        vs->backgroundColor = back;
    }
    Q_EMIT TrackSettingsChanged();
}

void QVxWaveformTrackSettingPopupDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    qApp->installEventFilter(this);
}

void QVxWaveformTrackSettingPopupDlg::hideEvent(QHideEvent* event) {
    qApp->removeEventFilter(this);
    QDialog::hideEvent(event);
}

bool QVxWaveformTrackSettingPopupDlg::IsOwnWidget(const QObject* object) const {
    for (auto* w = qobject_cast<const QWidget*>(object); w; w = w->parentWidget()) {
        if (w == this) return true;
    }
    return false;
}

bool QVxWaveformTrackSettingPopupDlg::eventFilter(QObject* watched, QEvent* event) {
    // Escape closes the popup wherever the keyboard focus is (the popup is a tool window
    // that the window manager need not activate, so the key often reaches the window
    // under it); with a colour menu or the colour dialog open, Escape is theirs.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
        !m_lineColor->IsChoosing() && !m_backColor->IsChoosing()) {
        close();
        return true;
    }
    // A press outside the popup closes it even where no window manager moves the
    // activation (the activation change below never comes then). Its own drop-down
    // lists, colour menus and colour dialog are its children and keep it open.
    if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType() && !IsOwnWidget(watched) &&
        !m_lineColor->IsChoosing() && !m_backColor->IsChoosing()) {
        close();
    }
    return QDialog::eventFilter(watched, event);
}

void QVxWaveformTrackSettingPopupDlg::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() != QEvent::ActivationChange || isActiveWindow() || !isVisible()) return;
    // Activation went to the colour menu or the colour dialog: stay open.
    if (m_lineColor->IsChoosing() || m_backColor->IsChoosing()) return;
    close();
}
