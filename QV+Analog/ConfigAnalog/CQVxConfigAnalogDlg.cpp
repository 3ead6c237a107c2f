#include "QV+Analog/ConfigAnalog/CQVxConfigAnalogDlg.h"

#include "QV+Analog/QVxAppText.h"

#include "QV+Analog/QVxAppPrompts.h"
#include "QV+AnalogCore/QVxAppStrings.h"
#include "QVxCore/AnalogSettings.h"
#include "QVxCore/Utils.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cstdio>

namespace {

// Rows of the level lists: High, Low (the trigger modes other than off).
constexpr int kListHigh = 0;
constexpr int kListLow = 1;

QLabel* MakeLabel(QWidget* parent, int id, int textId) {
    auto* label = new QLabel(QVxAppString(textId), parent);
    label->setObjectName(QVxWinGUI::ControlName(id));
    return label;
}

QComboBox* MakeList(QWidget* parent, int id, const char* first, const char* second) {
    auto* list = new QComboBox(parent);
    list->setObjectName(QVxWinGUI::ControlName(id));
    list->addItem(QString::fromUtf8(first));
    list->addItem(QString::fromUtf8(second));
    return list;
}

// A number edit for a threshold in mV: digits only, so a non-number cannot be
// entered; the range is wider than the accepted one so that OK can name the fault.
QSpinBox* MakeThresholdEdit(QWidget* parent, int id) {
    auto* edit = new QSpinBox(parent);
    edit->setObjectName(QVxWinGUI::ControlName(id));
    edit->setButtonSymbols(QAbstractSpinBox::NoButtons);
    edit->setRange(0, 99999);
    edit->setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    edit->setMinimumWidth(70);
    return edit;
}

int ListIndexOfMode(qvx::TriggerChannelMode mode) {
    return mode == qvx::TriggerChannelMode::kLow ? kListLow : kListHigh;
}

qvx::TriggerChannelMode ModeOfListIndex(int index) {
    return index == kListLow ? qvx::TriggerChannelMode::kLow : qvx::TriggerChannelMode::kHigh;
}

}  // namespace

CQVxConfigAnalogDlg::CQVxConfigAnalogDlg(QWidget* parent, qvx::AnalogSettings* settings, bool readOnly)
    : QDialog(parent), m_settings(settings), m_readOnly(readOnly) {
    setObjectName(QStringLiteral("dlg%1").arg(kTemplateId));
    setWindowTitle(QVxAppString(kAppStringConfigTitle));
    setFont(QVxWinGUI::GuiFont(9));
    // The application's icon (resource 128 of the original program).
    setWindowIcon(QApplication::windowIcon());

    CreateRadios();
    CreateTriggerGroups();
    CreateThresholdsAndButtons();
    LayoutControls();
    ConnectControls();

    LoadFromSettings();
    UpdateEnabling();
    if (m_readOnly) ApplyReadOnly();
}

void CQVxConfigAnalogDlg::CreateRadios() {
    m_radioGroup = new QButtonGroup(this);
    static constexpr int kRadioCaptions[4] = {kAppStringTriggerModeNone, kAppStringTriggerModeStartStop,
                                              kAppStringTriggerModeExternalClock,
                                              kAppStringTriggerModeTraceSync};
    for (int i = 0; i < 4; ++i) {
        auto* radio = new QRadioButton(QVxAppString(kRadioCaptions[i]), this);
        radio->setObjectName(QVxWinGUI::ControlName(kRadioNone + i));
        m_radioGroup->addButton(radio, kRadioNone + i);
        m_radios[static_cast<std::size_t>(i)] = radio;
    }
}

void CQVxConfigAnalogDlg::CreateTriggerGroups() {
    m_startGroup = new QGroupBox(QVxAppString(kAppStringStartTrigger), this);
    m_startGroup->setObjectName(QVxWinGUI::ControlName(kStartGroupId));
    m_stopGroup = new QGroupBox(QVxAppString(kAppStringStopTrigger), this);
    m_stopGroup->setObjectName(QVxWinGUI::ControlName(kStopGroupId));
    for (std::size_t i = 0; i < 4; ++i) {
        QGroupBox* group = i < 2 ? m_startGroup : m_stopGroup;
        auto* box = new QCheckBox(QVxAppString(i % 2 == 0 ? kAppStringTrg1 : kAppStringTrg2), group);
        box->setObjectName(QVxWinGUI::ControlName(kTriggerBoxIds[i]));
        m_triggerBoxes[i] = box;
        m_levelLists[i] = MakeList(group, kLevelListIds[i], "High", "Low");
    }
    m_startConditionLabel = MakeLabel(m_startGroup, kStartConditionLabelId, kAppStringCombination);
    m_startCondition = MakeList(m_startGroup, kStartConditionId, "OR", "AND");
    m_stopConditionLabel = MakeLabel(m_stopGroup, kStopConditionLabelId, kAppStringCombination);
    m_stopCondition = MakeList(m_stopGroup, kStopConditionId, "OR", "AND");
}

void CQVxConfigAnalogDlg::CreateThresholdsAndButtons() {
    m_threshold1Label = MakeLabel(this, kThreshold1LabelId, kAppStringThreshold1);
    m_threshold1Edit = MakeThresholdEdit(this, kThreshold1Id);
    m_threshold2Label = MakeLabel(this, kThreshold2LabelId, kAppStringThreshold2);
    m_threshold2Edit = MakeThresholdEdit(this, kThreshold2Id);
    m_edgeLabel = MakeLabel(this, kEdgeLabelId, kAppStringTriggerEdge);
    m_edgeList = MakeList(this, kEdgeId, "High", "Low");
    m_threshold3Label = MakeLabel(this, kThreshold3LabelId, kAppStringThreshold3);
    m_threshold3Edit = MakeThresholdEdit(this, kThreshold3Id);

    m_okButton = new QPushButton(QStringLiteral("OK"), this);
    m_okButton->setObjectName(QVxWinGUI::ControlName(kOkButtonId));
    m_okButton->setDefault(true);
    m_cancelButton = new QPushButton(QVxWinGUI::LoadStringW(kGuiStringCancel), this);
    m_cancelButton->setObjectName(QVxWinGUI::ControlName(kCancelButtonId));
}

void CQVxConfigAnalogDlg::LayoutTriggerGroup(QGroupBox* group, std::size_t first, QLabel* conditionLabel,
                                             QComboBox* condition) {
    auto* grid = new QGridLayout(group);
    for (int row = 0; row < 2; ++row) {
        grid->addWidget(m_triggerBoxes[first + static_cast<std::size_t>(row)], row, 0);
        grid->addWidget(m_levelLists[first + static_cast<std::size_t>(row)], row, 1);
    }
    grid->addWidget(conditionLabel, 2, 0);
    grid->addWidget(condition, 2, 1);
}

void CQVxConfigAnalogDlg::LayoutControls() {
    // The radio buttons in order, each followed by the controls it enables.
    LayoutTriggerGroup(m_startGroup, 0, m_startConditionLabel, m_startCondition);
    LayoutTriggerGroup(m_stopGroup, 2, m_stopConditionLabel, m_stopCondition);

    auto* main = new QVBoxLayout(this);
    main->addWidget(m_radios[0]);
    main->addWidget(m_radios[1]);
    auto* startStop = new QVBoxLayout;
    startStop->setContentsMargins(20, 0, 0, 0);
    auto* groups = new QHBoxLayout;
    groups->addWidget(m_startGroup);
    groups->addWidget(m_stopGroup);
    startStop->addLayout(groups);
    auto* thresholds = new QGridLayout;
    thresholds->addWidget(m_threshold1Label, 0, 0);
    thresholds->addWidget(m_threshold1Edit, 0, 1);
    thresholds->addWidget(m_threshold2Label, 1, 0);
    thresholds->addWidget(m_threshold2Edit, 1, 1);
    thresholds->setColumnStretch(2, 1);
    startStop->addLayout(thresholds);
    main->addLayout(startStop);
    main->addWidget(m_radios[2]);
    auto* clock = new QGridLayout;
    clock->setContentsMargins(20, 0, 0, 0);
    clock->addWidget(m_edgeLabel, 0, 0);
    clock->addWidget(m_edgeList, 0, 1);
    clock->addWidget(m_threshold3Label, 1, 0);
    clock->addWidget(m_threshold3Edit, 1, 1);
    clock->setColumnStretch(2, 1);
    main->addLayout(clock);
    main->addWidget(m_radios[3]);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_okButton);
    buttons->addWidget(m_cancelButton);
    main->addLayout(buttons);
}

void CQVxConfigAnalogDlg::ConnectControls() {
    connect(m_okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_radioGroup, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked) UpdateEnabling();
    });
    for (std::size_t i = 0; i < 4; ++i) {
        connect(m_triggerBoxes[i], &QCheckBox::toggled, this, [this] { UpdateEnabling(); });
        // Choosing a level means the trigger is wanted: tick its box.
        connect(m_levelLists[i], &QComboBox::activated, this, [this, i] {
            m_triggerBoxes[i]->setChecked(true);
            UpdateEnabling();
        });
    }
}

CQVxConfigAnalogDlg::~CQVxConfigAnalogDlg() = default;

int CQVxConfigAnalogDlg::GetRadio() const {
    const int id = m_radioGroup->checkedId();
    return id < 0 ? kRadioNone : id;
}

void CQVxConfigAnalogDlg::LoadFromSettings() {
    m_radios[0]->setChecked(true);
    QVX_CHECK(m_settings);
    const qvx::AnalogSettings& s = *m_settings;
    const std::array<qvx::TriggerChannelMode, 4> modes{s.trigger1ChStartMode, s.trigger2ChStartMode,
                                                       s.trigger1ChStopMode, s.trigger2ChStopMode};
    constexpr auto kOff = qvx::TriggerChannelMode::kOff;
    int radio = kRadioNone;
    if (s.trigger4ChEnabled) {
        radio = kRadioSync;
    } else if (s.trigger3ChMode != kOff) {
        radio = kRadioExternalClock;
    } else if (modes[0] != kOff || modes[1] != kOff || modes[2] != kOff || modes[3] != kOff) {
        radio = kRadioStartStop;
    }
    m_radios[static_cast<std::size_t>(radio - kRadioNone)]->setChecked(true);

    for (std::size_t i = 0; i < 4; ++i) {
        m_triggerBoxes[i]->setChecked(modes[i] != kOff);
        m_levelLists[i]->setCurrentIndex(ListIndexOfMode(modes[i]));
    }
    // A condition outside 0/1 (a damaged settings file) shows as OR.
    m_startCondition->setCurrentIndex(s.triggerStartCondition == qvx::TriggerCondition::kAnd ? 1 : 0);
    m_stopCondition->setCurrentIndex(s.triggerStopCondition == qvx::TriggerCondition::kAnd ? 1 : 0);
    m_threshold1Edit->setValue(s.trigger1ChThreshold);
    m_threshold2Edit->setValue(s.trigger2ChThreshold);
    m_edgeList->setCurrentIndex(ListIndexOfMode(s.trigger3ChMode));
    m_threshold3Edit->setValue(s.trigger3ChThreshold);
}

void CQVxConfigAnalogDlg::UpdateEnabling() {
    if (m_readOnly) return;
    const int radio = GetRadio();
    const bool startStop = radio == kRadioStartStop;
    const bool clock = radio == kRadioExternalClock;

    for (std::size_t i = 0; i < 4; ++i) {
        m_triggerBoxes[i]->setEnabled(startStop);
        m_levelLists[i]->setEnabled(startStop);
    }
    for (QWidget* w : {static_cast<QWidget*>(m_threshold1Label), static_cast<QWidget*>(m_threshold1Edit),
                       static_cast<QWidget*>(m_threshold2Label), static_cast<QWidget*>(m_threshold2Edit)}) {
        w->setEnabled(startStop);
    }
    // The group frames follow their radio too; their titles grey out with it.
    m_startGroup->setEnabled(startStop);
    m_stopGroup->setEnabled(startStop);

    const auto bothTicked = [this](std::size_t first) {
        return m_triggerBoxes[first]->isEnabled() && m_triggerBoxes[first]->isChecked() &&
               m_triggerBoxes[first + 1]->isEnabled() && m_triggerBoxes[first + 1]->isChecked();
    };
    const bool startCombination = startStop && bothTicked(0);
    const bool stopCombination = startStop && bothTicked(2);
    m_startConditionLabel->setEnabled(startCombination);
    m_startCondition->setEnabled(startCombination);
    m_stopConditionLabel->setEnabled(stopCombination);
    m_stopCondition->setEnabled(stopCombination);

    for (QWidget* w : {static_cast<QWidget*>(m_edgeLabel), static_cast<QWidget*>(m_edgeList),
                       static_cast<QWidget*>(m_threshold3Label), static_cast<QWidget*>(m_threshold3Edit)}) {
        w->setEnabled(clock);
    }
}

void CQVxConfigAnalogDlg::ApplyReadOnly() {
    m_okButton->hide();
    m_cancelButton->setText(QVxAppString(kAppStringClose));
    m_cancelButton->setDefault(true);
    // Every input (and, so that the page reads as one, every label) greys out;
    // only "閉じる" stays usable.
    for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w != m_cancelButton) w->setEnabled(false);
    }
}

bool CQVxConfigAnalogDlg::CheckThreshold(int value, QWidget* edit) {
    if (value >= kThresholdMin && value <= kThresholdMax) return true;
    const QByteArray format = QVxAppString(kAppStringThresholdRange).toUtf8();
    char text[256];
    std::snprintf(text, sizeof text, format.constData(), kThresholdMin, kThresholdMax);
    QVxAppPrompts::Get().ShowMessage(this, QString::fromUtf8(text));
    edit->setFocus();
    return false;
}

void CQVxConfigAnalogDlg::accept() {
    // Read-only: OK is hidden; Enter or a stray accept must not write anything.
    if (m_readOnly) {
        reject();
        return;
    }
    if (!QVX_VERIFY(m_settings)) {
        // Nothing to write into: close as cancelled rather than claim success.
        reject();
        return;
    }
    // An edit left empty or half-typed holds no number: refuse it like an out-of-range value.
    const auto read = [](QSpinBox* edit) { return edit->hasAcceptableInput() ? edit->value() : -1; };
    m_threshold1 = read(m_threshold1Edit);
    m_threshold2 = read(m_threshold2Edit);
    m_threshold3 = read(m_threshold3Edit);

    const int radio = GetRadio();
    if (radio == kRadioStartStop) {
        bool anyTicked = false;
        for (QCheckBox* box : m_triggerBoxes) anyTicked = anyTicked || box->isChecked();
        if (!anyTicked) {
            QVxAppPrompts::Get().ShowMessage(this, QVxAppString(kAppStringNoStartStopTrigger));
            m_triggerBoxes[0]->setFocus();
            return;
        }
        if (!CheckThreshold(m_threshold1, m_threshold1Edit)) return;
        if (!CheckThreshold(m_threshold2, m_threshold2Edit)) return;
    } else if (radio == kRadioExternalClock) {
        if (!CheckThreshold(m_threshold3, m_threshold3Edit)) return;
    }
    SaveToSettings();
    QDialog::accept();
}

void CQVxConfigAnalogDlg::SaveToSettings() {
    qvx::AnalogSettings& s = *m_settings;
    s.trigger4ChEnabled = false;
    s.trigger3ChMode = qvx::TriggerChannelMode::kOff;
    s.trigger1ChStartMode = qvx::TriggerChannelMode::kOff;
    s.trigger2ChStartMode = qvx::TriggerChannelMode::kOff;
    s.trigger1ChStopMode = qvx::TriggerChannelMode::kOff;
    s.trigger2ChStopMode = qvx::TriggerChannelMode::kOff;

    switch (GetRadio()) {
        case kRadioSync:
            s.trigger4ChEnabled = true;
            break;
        case kRadioExternalClock:
            s.trigger3ChMode = ModeOfListIndex(m_edgeList->currentIndex());
            s.trigger3ChThreshold = m_threshold3;
            break;
        case kRadioStartStop: {
            std::array<qvx::TriggerChannelMode*, 4> modes{&s.trigger1ChStartMode, &s.trigger2ChStartMode,
                                                          &s.trigger1ChStopMode, &s.trigger2ChStopMode};
            for (std::size_t i = 0; i < 4; ++i) {
                if (m_triggerBoxes[i]->isChecked())
                    *modes[i] = ModeOfListIndex(m_levelLists[i]->currentIndex());
            }
            if (m_triggerBoxes[0]->isChecked() && m_triggerBoxes[1]->isChecked())
                s.triggerStartCondition =
                    static_cast<qvx::TriggerCondition>(m_startCondition->currentIndex());
            if (m_triggerBoxes[2]->isChecked() && m_triggerBoxes[3]->isChecked())
                s.triggerStopCondition = static_cast<qvx::TriggerCondition>(m_stopCondition->currentIndex());
            s.trigger1ChThreshold = m_threshold1;
            s.trigger2ChThreshold = m_threshold2;
            break;
        }
        default:
            break;
    }
}
