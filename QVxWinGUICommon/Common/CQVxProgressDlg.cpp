#include "QVxWinGUICommon/Common/CQVxProgressDlg.h"

#include "QVxCore/Presenters/InteractionTaskRunner.h"
#include "QVxCore/TaskDispatcher.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <spdlog/spdlog.h>

CQVxProgressDlg::CQVxProgressDlg(qvx::InteractionRunBehaviors behaviors, qvx::InteractionTask task,
                                 QWidget* parent)
    : QDialog(parent),
      m_behaviors(behaviors),
      m_task(std::move(task)),
      m_caption(new QLabel(this)),
      m_bar(new QProgressBar(this)),
      m_cancel(new QPushButton(QVxWinGUI::LoadStringW(kGuiStringCancel), this)) {
    setObjectName(QVxWinGUI::ControlName(kTemplateId));
    setWindowFlag(Qt::WindowCloseButtonHint, false);
    m_caption->setObjectName(QVxWinGUI::ControlName(kCaptionId));
    m_bar->setObjectName(QVxWinGUI::ControlName(kBarId));
    m_cancel->setObjectName(QVxWinGUI::ControlName(kCancelId));
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);
    if (qvx::HasBehavior(behaviors, qvx::InteractionRunBehaviors::kMarquee)) m_bar->setRange(0, 0);
    m_cancel->setVisible(qvx::HasBehavior(behaviors, qvx::InteractionRunBehaviors::kCancellable));
    m_cancel->setAutoDefault(false);
    connect(m_cancel, &QPushButton::clicked, this, &CQVxProgressDlg::RequestCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_caption);
    layout->addWidget(m_bar);
    layout->addWidget(m_cancel, 0, Qt::AlignRight);
    setMinimumWidth(360);
    // The reporters run on the GUI thread (posted by the token); the last one is
    // posted before the end of the task, so none arrives after the dialog closed.
    m_runner = std::make_unique<qvx::InteractionTaskRunner>(
        [this](std::int64_t done, std::int64_t total) { OnProgress(done, total); },
        [this](const std::string& caption) { OnCaption(caption); });
}

CQVxProgressDlg::~CQVxProgressDlg() = default;

bool CQVxProgressDlg::Run(qvx::InteractionRunBehaviors behaviors, const qvx::InteractionTask& task,
                          QWidget* parent) {
    CQVxProgressDlg dialog(behaviors, task, parent);
    return dialog.RunModal();
}

bool CQVxProgressDlg::RunModal() {
    // The task's end is posted to the main dispatcher; one is attached to this (GUI)
    // thread when the program has none yet.
    if (!qvx::Dispatcher::GetMainInstance() && !qvx::Dispatcher::AttachMain(qvx::Dispatcher::kQtEventLoop)) {
        spdlog::error("CQVxProgressDlg::Run: no dispatcher for the GUI thread");
        return false;
    }
    // Started from inside the modal loop, so that the end of the task, which closes
    // the dialog, always finds the loop running.
    QTimer::singleShot(0, this, [this] {
        if (!m_runner->Start(m_task, [this] { OnFinished(); })) {
            m_finished = true;
            done(QDialog::Rejected);
        }
    });
    exec();
    return m_runner->Join();
}

void CQVxProgressDlg::OnProgress(std::int64_t done, std::int64_t total) {
    if (m_bar->maximum() == 0 || total <= 0) return;
    m_bar->setRange(0, 100);
    m_bar->setValue(static_cast<int>(static_cast<double>(done) / static_cast<double>(total) * 100.0));
}

void CQVxProgressDlg::OnCaption(const std::string& caption) {
    m_caption->setText(QString::fromStdString(caption));
}

void CQVxProgressDlg::OnFinished() {
    m_finished = true;
    done(QDialog::Accepted);
}

void CQVxProgressDlg::RequestCancel() {
    if (!qvx::HasBehavior(m_behaviors, qvx::InteractionRunBehaviors::kCancellable)) return;
    m_runner->RequestCancel();
    m_cancel->setEnabled(false);
}

void CQVxProgressDlg::reject() {
    // Esc: a cancel request at most; the dialog closes when the task has returned.
    if (m_finished) {
        QDialog::reject();
        return;
    }
    RequestCancel();
}

void CQVxProgressDlg::closeEvent(QCloseEvent* event) {
    if (m_finished) {
        QDialog::closeEvent(event);
        return;
    }
    RequestCancel();
    event->ignore();
}
