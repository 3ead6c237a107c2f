#include "QVxWinGUICommon/WaveformMonitor/Part/QVxWaveformDisplayTriggerDlg.h"

#include "QVxCore/AnalogSettings.h"
#include "QVxCore/Presenters/WaveformDisplayTriggerPresenter.h"
#include "QVxCore/Presenters/WaveformPresenter.h"
#include "QVxCore/Presenters/WaveformTrackPresenter.h"
#include "QVxCore/Utils.h"
#include "QVxWinCommon/QVxGuiStrings.h"
#include "QVxWinGUICommon/Common/QVxUnitValuePropertyField.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

using QVxWinGUI::MakeLabel;

namespace {

constexpr int kOuter = 4;    // grid origin and space between the grids
constexpr int kSpacing = 2;  // between rows and columns inside a grid
constexpr int kModeHeight = 30;
constexpr int kSlopeHeight = 40;
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

QVxUnitValuePropertyField* MakeField(QWidget* parent, int id, std::int64_t minimum, std::int64_t maximum) {
    auto* field = new QVxUnitValuePropertyField(parent);
    field->Create(parent, QRect(), id);
    field->SetMinMax(minimum, maximum);
    return field;
}

// Logs the impossible value as unreachable without letting the exception leave
// the event handler: a corrupt settings file must not end the program.
void ReportUnreachable() {
    try {
        QVX_UNREACHABLE();
    } catch (const std::exception&) {
    }
}

}  // namespace

CQVxWaveformDisplayTriggerDlg::CQVxWaveformDisplayTriggerDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("dlg%1").arg(kTemplateId));
    setFont(QVxWinGUI::GuiFont(9));
    CreateModeButtons();
    CreateSourceFields();
    CreateSlopeButtons();
    CreateWidthFields();
    ConnectHandlers();
    UpdateMinimumWidth();
    resize(340, 300);
    UpdateControls();
}

void CQVxWaveformDisplayTriggerDlg::CreateModeButtons() {
    m_modeGroup = new QButtonGroup(this);
    static const char* const kModeCaptions[3] = {"None", "Single", "Repeat"};
    for (int i = 0; i < 3; ++i) {
        auto* b = new QPushButton(QString::fromLatin1(kModeCaptions[i]), this);
        b->setObjectName(QVxWinGUI::ControlName(kModeIds[i]));
        b->setCheckable(true);
        m_modeGroup->addButton(b, i);
        m_modeButtons[static_cast<std::size_t>(i)] = b;
    }
}

void CQVxWaveformDisplayTriggerDlg::CreateSourceFields() {
    m_sourceLabel = MakeLabel(this, kSourceLabelId, kGuiStringTriggerSource);
    m_source = new QComboBox(this);
    m_source->setObjectName(QVxWinGUI::ControlName(kSourceId));
    m_levelLabel = MakeLabel(this, kLevelLabelId, kGuiStringTriggerLevel);
    m_level = MakeField(this, kLevelId, 0, kInt32Max);
    m_level->AddUnit(0, QStringLiteral("V"), 1000);
    m_level->AddUnit(1, QStringLiteral("mV"), 1);
    m_level->SetExactDecimals(true);  // "1.5" V is 1500 mV, not refused
    m_positionLabel = MakeLabel(this, kPositionLabelId, kGuiStringTriggerPosition);
    m_position = MakeField(this, kPositionId, 0, 100);
    m_sensitivityLabel = MakeLabel(this, kSensitivityLabelId, kGuiStringTriggerSensitivity);
    m_sensitivity = MakeField(this, kSensitivityId, 1, 1000);
}

void CQVxWaveformDisplayTriggerDlg::CreateSlopeButtons() {
    m_slopeGroup = new QButtonGroup(this);
    for (int i = 0; i < 4; ++i) {
        auto* b = new QPushButton(this);
        b->setObjectName(QVxWinGUI::ControlName(kSlopeIds[i]));
        b->setCheckable(true);
        if (auto image = QVxUtils::LoadImageFromResource(kSlopeImageIds[i])) {
            b->setIcon(QIcon(*image));
            b->setIconSize(image->size());
        }
        m_slopeGroup->addButton(b, i);
        m_slopeButtons[static_cast<std::size_t>(i)] = b;
    }
}

void CQVxWaveformDisplayTriggerDlg::CreateWidthFields() {
    m_widthLabel = MakeLabel(this, kWidthLabelId, kGuiStringPulseWidth);
    m_width = MakeField(this, kWidthId, 1, kInt32Max);
    m_width->AddUnit(0, QStringLiteral("s"), 1'000'000'000);
    m_width->AddUnit(1, QStringLiteral("ms"), 1'000'000);
    m_width->AddUnit(2, QStringLiteral("us"), 1'000);
    m_width->AddUnit(3, QStringLiteral("ns"), 1);
    m_width->SetExactDecimals(true);  // 300,000 ns shows as "0.3" ms, not "0"
    m_comparisonLabel = MakeLabel(this, kComparisonLabelId, kGuiStringPulseWidthCondition);
    m_comparison = new QComboBox(this);
    m_comparison->setObjectName(QVxWinGUI::ControlName(kComparisonId));
    for (int stringId : {kGuiStringWithin, kGuiStringOutside})
        m_comparison->addItem(QVxWinGUI::LoadStringW(stringId));
}

void CQVxWaveformDisplayTriggerDlg::ConnectHandlers() {
    // Each handler writes one value through the presenter.
    connect(m_modeGroup, &QButtonGroup::idClicked, this, [this](int id) {
        Write([&] { m_presenter->SetMode(static_cast<qvx::DisplayTriggerMode>(id)); });
    });
    connect(m_slopeGroup, &QButtonGroup::idClicked, this,
            [this](int id) { Write([&] { m_presenter->SetSlope(static_cast<qvx::TriggerSlope>(id)); }); });
    connect(m_source, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) Write([&] { m_presenter->SetSourceChannel(index); });
    });
    connect(m_comparison, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) Write([&] { m_presenter->SetComparison(static_cast<qvx::WidthComparison>(index)); });
    });
    m_level->SetValueChanged([this](std::int64_t mV) { Write([&] { m_presenter->SetLevel(mV); }); });
    m_level->SetUnitChanged([this](std::int64_t unit) {
        Write([&] {
            m_presenter->SetLevelUnit(static_cast<qvx::VoltageDisplayUnit>(static_cast<std::uint8_t>(unit)));
        });
    });
    m_position->SetValueChanged([this](std::int64_t percent) {
        Write([&] { m_presenter->SetPosition(static_cast<double>(percent) / 100.0); });
    });
    m_sensitivity->SetValueChanged([this](std::int64_t samples) {
        Write([&] { m_presenter->SetSensitivity(static_cast<std::int32_t>(samples)); });
    });
    m_width->SetValueChanged([this](std::int64_t ns) { Write([&] { m_presenter->SetWidth(ns); }); });
    m_width->SetUnitChanged([this](std::int64_t unit) {
        Write([&] {
            m_presenter->SetWidthUnit(static_cast<qvx::TimeDisplayUnit>(static_cast<std::uint8_t>(unit)));
        });
    });
}

CQVxWaveformDisplayTriggerDlg::~CQVxWaveformDisplayTriggerDlg() {
    if (m_settingsConnection) m_settingsConnection->Disconnect();
    if (m_viewportConnection) m_viewportConnection->Disconnect();
}

template <class F>
void CQVxWaveformDisplayTriggerDlg::Write(F&& write) {
    if (m_updating || !m_presenter) return;
    write();
}

void CQVxWaveformDisplayTriggerDlg::Setup(qvx::WaveformDisplayTriggerPresenter* presenter) {
    if (m_settingsConnection) m_settingsConnection->Disconnect();
    m_settingsConnection.reset();
    m_presenter = presenter;
    if (m_presenter)
        m_settingsConnection = m_presenter->SettingsChanged.Connect([this] { UpdateControls(); });
    UpdateControls();
}

void CQVxWaveformDisplayTriggerDlg::Subscribe() {
    // The presenter may be given another waveform presenter with a new session.
    qvx::WaveformPresenter* waveform = m_presenter ? m_presenter->GetWaveformPresenter() : nullptr;
    if (waveform == m_subscribedWaveform) return;
    if (m_viewportConnection) m_viewportConnection->Disconnect();
    m_viewportConnection.reset();
    m_subscribedWaveform = waveform;
    if (waveform) m_viewportConnection = waveform->ViewportChanged.Connect([this] { UpdateControls(); });
}

void CQVxWaveformDisplayTriggerDlg::UpdateControls() {
    if (m_updating || !m_presenter) return;
    Subscribe();
    qvx::AnalogSettings* settings = m_presenter->GetSettings();
    if (!settings) return;
    m_updating = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{m_updating};

    const qvx::DisplayTriggerMode mode = settings->displayTriggerMode;
    if (qvx::IsValid(mode)) {
        m_modeButtons[static_cast<std::size_t>(mode)]->setChecked(true);
    } else {
        m_modeGroup->setExclusive(false);
        for (QPushButton* b : m_modeButtons) b->setChecked(false);
        m_modeGroup->setExclusive(true);
        ReportUnreachable();
    }

    const double percent = std::trunc(settings->displayTriggerPosition * 100.0);
    m_position->SetValue(std::isfinite(percent) ? static_cast<std::int64_t>(std::clamp(percent, -1.0, 101.0))
                                                : 0);

    m_source->clear();
    if (qvx::WaveformPresenter* waveform = m_presenter->GetWaveformPresenter()) {
        for (std::size_t i = 0; i < waveform->TrackCount(); ++i) {
            m_source->addItem(QString::fromStdString(waveform->Track(i).GetTrackName()));
        }
    }
    m_source->setCurrentIndex(settings->displayTriggerSourceChannel < m_source->count()
                                  ? settings->displayTriggerSourceChannel
                                  : -1);

    qvx::TriggerSlope slope = qvx::TriggerSlope::kRising;
    if (const qvx::AnalogDisplayTriggerSettings* s = m_presenter->GetSourceSettings()) {
        m_level->SetUnit(static_cast<std::uint8_t>(s->voltageLevelDisplayUnit));
        m_level->SetValue(s->voltageLevel);
        m_sensitivity->SetValue(s->sensitivityCount);
        slope = s->slope;
        if (qvx::IsValid(slope)) {
            m_slopeButtons[static_cast<std::size_t>(slope)]->setChecked(true);
        } else {
            m_slopeGroup->setExclusive(false);
            for (QPushButton* b : m_slopeButtons) b->setChecked(false);
            m_slopeGroup->setExclusive(true);
            ReportUnreachable();
        }
        m_width->SetUnit(static_cast<std::uint8_t>(s->edgeWidthTimeDisplayUnit));
        m_width->SetValue(s->edgeWidthTime);
        m_comparison->setCurrentIndex(s->widthEdgeComparison == qvx::WidthComparison::kOutside ? 1 : 0);
    }

    // Mode None leaves only the mode buttons; the width and its comparison belong
    // to the pulse-width slopes.
    const bool active = mode != qvx::DisplayTriggerMode::kNone;
    const bool pulse = qvx::IsPulseSlope(slope);
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_sourceLabel, m_source, m_levelLabel, m_level, m_positionLabel,
                                         m_position, m_sensitivityLabel, m_sensitivity}) {
        w->setEnabled(active);
    }
    for (QPushButton* b : m_slopeButtons) b->setEnabled(active);
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_widthLabel, m_width, m_comparisonLabel, m_comparison}) {
        w->setEnabled(active && pulse);
    }
}

void CQVxWaveformDisplayTriggerDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    OnSize();
}

void CQVxWaveformDisplayTriggerDlg::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    // The constructor's own font change comes before the controls exist.
    if (m_comparisonLabel && (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)) {
        UpdateMinimumWidth();
        OnSize();
    }
}

// Each caption's own size hint (its text and the label's margins) plus 8 pixels.
int CQVxWaveformDisplayTriggerDlg::LabelColumnWidth() const {
    int labelW = 0;
    for (QLabel* l : {m_sourceLabel, m_levelLabel, m_positionLabel, m_sensitivityLabel}) {
        labelW = std::max(labelW, l->sizeHint().width() + 8);
    }
    return labelW;
}

// Grid 2 needs its label column and 120 pixels of field; grid 3 gives its captions
// half of the width (two of the four slope buttons).
void CQVxWaveformDisplayTriggerDlg::UpdateMinimumWidth() {
    int lowerLabelW = 0;
    for (QLabel* l : {m_widthLabel, m_comparisonLabel})
        lowerLabelW = std::max(lowerLabelW, l->sizeHint().width());
    const int grid2 = LabelColumnWidth() + kSpacing + 120;
    const int grid3 = 2 * lowerLabelW + 3 * kSpacing + 4;
    setMinimumWidth(2 * kOuter + std::max(grid2, grid3));
}

void CQVxWaveformDisplayTriggerDlg::OnSize() {
    const int w = std::max(0, width() - 2 * kOuter);
    int y = kOuter;

    // Grid 1: the three mode buttons in one row.
    const int modeW = (w - 2 * kSpacing) / 3;
    for (int i = 0; i < 3; ++i) {
        m_modeButtons[static_cast<std::size_t>(i)]->setGeometry(kOuter + i * (modeW + kSpacing), y, modeW,
                                                                kModeHeight);
    }
    y += kModeHeight + kOuter;

    // Grid 2: (label, field) rows as high as the fields' inner control; the label
    // column as wide as its widest caption.
    const int rowH = m_level->GetInnerControlHeight();
    // The fields keep at least 120 pixels (edit and unit list); the minimum width keeps
    // the captions whole beside them.
    const int labelW = std::max(0, std::min(LabelColumnWidth(), w - kSpacing - 120));
    const int fieldX = kOuter + labelW + kSpacing;
    const int fieldW = std::max(0, w - labelW - kSpacing);
    const std::pair<QLabel*, QWidget*> rows[] = {{m_sourceLabel, m_source},
                                                 {m_levelLabel, m_level},
                                                 {m_positionLabel, m_position},
                                                 {m_sensitivityLabel, m_sensitivity}};
    for (const auto& [label, field] : rows) {
        label->setGeometry(kOuter, y, labelW, rowH);
        field->setGeometry(fieldX, y, fieldW, rowH);
        y += rowH + kSpacing;
    }
    y += kOuter - kSpacing;

    // Grid 3: four slope buttons, then width and comparison in two halves.
    const int slopeW = (w - 3 * kSpacing) / 4;
    for (int i = 0; i < 4; ++i) {
        m_slopeButtons[static_cast<std::size_t>(i)]->setGeometry(kOuter + i * (slopeW + kSpacing), y, slopeW,
                                                                 kSlopeHeight);
    }
    y += kSlopeHeight + kSpacing;
    const int halfW = 2 * slopeW + kSpacing;
    const int rightX = kOuter + halfW + kSpacing;
    const int rightW = std::max(0, w - halfW - kSpacing);
    m_widthLabel->setGeometry(kOuter, y, halfW, rowH);
    m_width->setGeometry(rightX, y, rightW, rowH);
    y += rowH + kSpacing;
    m_comparisonLabel->setGeometry(kOuter, y, halfW, rowH);
    m_comparison->setGeometry(rightX, y, rightW, rowH);
}
