#pragma once
// Modal progress dialog that runs a task on a worker thread: a caption, a bar (a
// marquee with that behaviour) and Cancel (shown and working only with the
// cancellable behaviour; Esc and closing the window do the same).
// The task's progress and caption updates arrive on the GUI thread through the
// library's main dispatcher; the dialog closes when the task has returned and
// joins the worker on the GUI thread.

#include "QVxCore/Presenters/Interaction.h"
#include "QVxWinGUICommon/QVxWinGUICommonExport.h"

#include <QDialog>

#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;

namespace qvx {
class InteractionTaskRunner;
}

class QVXWINGUICOMMON_EXPORT CQVxProgressDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 4238;
    static constexpr int kBarId = 1038;
    static constexpr int kCaptionId = 1039;
    static constexpr int kCancelId = 2;

    CQVxProgressDlg(qvx::InteractionRunBehaviors behaviors, qvx::InteractionTask task,
                    QWidget* parent = nullptr);
    ~CQVxProgressDlg() override;

    // Runs `task` behind the modal dialog. True when it ended without a cancel or
    // an error (an exception of the task is logged and gives false). GUI thread.
    static bool Run(qvx::InteractionRunBehaviors behaviors, const qvx::InteractionTask& task,
                    QWidget* parent = nullptr);

    // Shows the dialog modally until the task has returned; the result as for Run.
    bool RunModal();

public Q_SLOTS:
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void OnProgress(std::int64_t done, std::int64_t total);
    void OnCaption(const std::string& caption);
    void OnFinished();
    void RequestCancel();

    qvx::InteractionRunBehaviors m_behaviors;
    qvx::InteractionTask m_task;
    std::unique_ptr<qvx::InteractionTaskRunner> m_runner;
    bool m_finished = false;
    QLabel* m_caption;
    QProgressBar* m_bar;
    QPushButton* m_cancel;
};
