#pragma once
// The modal dialog "データ収集設定" (template 315): the hardware trace trigger of the
// unit. None, start/stop triggers on TRG1/TRG2 with their thresholds, external
// clock sampling on TRG3, or sampling synchronised with the NAVO+ trace on TRG4.
// It edits the trigger fields of the given settings in place, and only when OK
// passes every check. Read-only mode (no unit connected) shows the values and
// offers only "閉じる". GUI thread only.

#include <QDialog>

#include <array>
#include <cstddef>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace qvx {
class AnalogSettings;
}

class CQVxConfigAnalogDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 315;
    // Radio buttons: none, TRG1/TRG2 start/stop, TRG3 external clock, TRG4 synchronised.
    static constexpr int kRadioNone = 5025;
    static constexpr int kRadioStartStop = 5026;
    static constexpr int kRadioExternalClock = 5027;
    static constexpr int kRadioSync = 5028;
    // Other control ids; each control's object name is "id<N>".
    static constexpr int kStartGroupId = 5029;
    static constexpr int kStopGroupId = 5030;
    // Start TRG1, start TRG2, stop TRG1, stop TRG2: the boxes and their level lists.
    static constexpr int kTriggerBoxIds[4] = {5031, 5032, 5033, 5034};
    static constexpr int kLevelListIds[4] = {5035, 5036, 5037, 5038};
    static constexpr int kStartConditionLabelId = 5039;
    static constexpr int kStopConditionLabelId = 5040;
    static constexpr int kStartConditionId = 5041;
    static constexpr int kStopConditionId = 5042;
    static constexpr int kThreshold1LabelId = 5043;
    static constexpr int kThreshold2LabelId = 5044;
    static constexpr int kThreshold1Id = 5045;
    static constexpr int kThreshold2Id = 5046;
    static constexpr int kEdgeLabelId = 5047;
    static constexpr int kEdgeId = 5048;
    static constexpr int kThreshold3LabelId = 5049;
    static constexpr int kThreshold3Id = 5050;
    static constexpr int kOkButtonId = 1;
    static constexpr int kCancelButtonId = 2;
    // Thresholds in mV accepted for TRG1, TRG2 and TRG3.
    static constexpr int kThresholdMin = 100;
    static constexpr int kThresholdMax = 4000;

    // `settings` is not owned and must outlive the dialog; it is written only on OK.
    CQVxConfigAnalogDlg(QWidget* parent, qvx::AnalogSettings* settings, bool readOnly);
    ~CQVxConfigAnalogDlg() override;

    // Checks the entries and, when they pass, writes the chosen branch into the
    // settings and closes with Accepted; otherwise shows the message, moves the
    // focus to the offending control and stays open.
    void accept() override;

    // The radio button chosen (kRadioNone ... kRadioSync).
    int GetRadio() const;

private:
    void CreateRadios();
    void CreateTriggerGroups();
    void CreateThresholdsAndButtons();
    void LayoutControls();
    // The start or stop group's grid: two trigger boxes from `first` and the condition.
    void LayoutTriggerGroup(QGroupBox* group, std::size_t first, QLabel* conditionLabel,
                            QComboBox* condition);
    void ConnectControls();
    void LoadFromSettings();
    // Enables the controls for the chosen radio button and the ticked boxes.
    void UpdateEnabling();
    void ApplyReadOnly();
    // True when `value` lies in the threshold range; else shows 20003 and focuses `edit`.
    bool CheckThreshold(int value, QWidget* edit);
    void SaveToSettings();

    qvx::AnalogSettings* m_settings;
    bool m_readOnly;
    // The three threshold entries (TRG1, TRG2, TRG3) as read on OK, in mV.
    int m_threshold1 = 0;
    int m_threshold2 = 0;
    int m_threshold3 = 0;

    QButtonGroup* m_radioGroup;
    std::array<QRadioButton*, 4> m_radios{};
    QGroupBox* m_startGroup;
    QGroupBox* m_stopGroup;
    // Start TRG1, start TRG2, stop TRG1, stop TRG2 and their levels.
    std::array<QCheckBox*, 4> m_triggerBoxes{};
    std::array<QComboBox*, 4> m_levelLists{};
    QLabel* m_startConditionLabel;
    QComboBox* m_startCondition;
    QLabel* m_stopConditionLabel;
    QComboBox* m_stopCondition;
    QLabel* m_threshold1Label;
    QSpinBox* m_threshold1Edit;
    QLabel* m_threshold2Label;
    QSpinBox* m_threshold2Edit;
    QLabel* m_edgeLabel;
    QComboBox* m_edgeList;
    QLabel* m_threshold3Label;
    QSpinBox* m_threshold3Edit;
    QPushButton* m_okButton;
    QPushButton* m_cancelButton;
};
