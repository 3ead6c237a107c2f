#pragma once
// The start-up list of recordings that earlier runs left without saving them (a
// crash, a kill, a power cut). For each the user chooses: open it as an unsaved
// session (to look at it and save it), discard it, or keep it for later. GUI thread.

#include "QV+Analog/QVxAppPrompts.h"

#include <QDialog>

#include <vector>

class QPushButton;
class QTableWidget;

class CQVxRecoveryDlg : public QDialog {
    Q_OBJECT

public:
    CQVxRecoveryDlg(const std::vector<qvx::OrphanedRecording>& recordings, QWidget* parent = nullptr);

    // What was chosen; recordings neither opened nor discarded are kept.
    const QVxRecoveryAnswer& Answer() const { return m_answer; }

    // Texts of one row: start time (local time), length, records, size, state.
    static QStringList RowTexts(const qvx::OrphanedRecording& recording);

private:
    void FillTable();
    // The recording of the selected row, as an index into the list; none without a selection.
    std::optional<std::size_t> Selected() const;
    void UpdateButtons();
    void OnOpen();
    void OnDiscard();

    const std::vector<qvx::OrphanedRecording>& m_recordings;
    std::vector<std::size_t> m_rows;  // list index of each table row
    QVxRecoveryAnswer m_answer;
    QTableWidget* m_table = nullptr;
    QPushButton* m_open = nullptr;
    QPushButton* m_discard = nullptr;
};
