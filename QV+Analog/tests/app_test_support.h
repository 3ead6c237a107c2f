#pragma once
// Test doubles of the application's prompts: every message box and notification
// is recorded instead of shown, questions and file dialogs take queued answers.
// Install one per test with its ScopedPrompts guard.

#include "QV+Analog/QVxAppPrompts.h"
#include "QVxWinCommon/QVxNotification.h"
#include "QVxWinGUICommon/Device/QVxNotificationImpl.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdlib>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace qvx::test {

class RecordingPrompts : public IQVxAppPrompts, public QVxNotificationBase {
public:
    QStringList messages;                      // every message box text, in order
    std::deque<bool> answers;                  // answers of AskYesNo; No when empty
    QStringList questions;                     // every question asked
    std::deque<QString> paths;                 // answers of the file and folder dialogs; cancel when empty
    std::deque<QVxSaveChoice> saveChoices;     // answers of AskSaveDiscardCancel; Discard when empty
    QStringList saveQuestions;                 // every save question asked
    std::deque<QVxRecoveryAnswer> recoveries;  // answers of AskRecovery; keep all when empty
    // When set, AskRecovery answers through it (the real dialog, say) instead of `recoveries`.
    std::function<QVxRecoveryAnswer(QWidget*, const std::vector<qvx::OrphanedRecording>&)> recoveryRunner;
    std::vector<std::vector<qvx::OrphanedRecording>> recoveryLists;  // every list shown
    QStringList dialogFilters;  // the filter (or title) each dialog was opened with
    QStringList dialogFolders;  // the start folder of each file dialog

    void ShowMessage(QWidget*, const QString& text) override { messages << text; }
    bool AskYesNo(QWidget*, const QString& text) override {
        questions << text;
        return TakeFront(answers, false);
    }
    QVxSaveChoice AskSaveDiscardCancel(QWidget*, const QString& text) override {
        saveQuestions << text;
        return TakeFront(saveChoices, QVxSaveChoice::kDiscard);
    }
    QVxRecoveryAnswer AskRecovery(QWidget* parent, const std::vector<qvx::OrphanedRecording>& list) override {
        recoveryLists.push_back(list);
        if (recoveryRunner) return recoveryRunner(parent, list);
        return TakeFront(recoveries, QVxRecoveryAnswer{});
    }
    QString GetOpenFileName(QWidget*, const QString& filter, const QString& startFolder = {}) override {
        dialogFilters << filter;
        dialogFolders << startFolder;
        return TakeFront(paths, QString());
    }
    QString GetSaveFileName(QWidget*, const QString& filter, const QString&,
                            const QString& startFolder = {}) override {
        dialogFilters << filter;
        dialogFolders << startFolder;
        return TakeFront(paths, QString());
    }
    QString GetExistingDirectory(QWidget*, const QString& title, const QString&) override {
        dialogFilters << title;
        return TakeFront(paths, QString());
    }
    // Notifications of the view models and the GUI library land in `messages` too.
    void OnNotifyErrorMessage(const std::string& text) override { messages << QString::fromStdString(text); }

private:
    template <typename T>
    static T TakeFront(std::deque<T>& queue, T fallback) {
        if (queue.empty()) return fallback;
        T value = queue.front();
        queue.pop_front();
        return value;
    }
};

// Installs `prompts` as the application's prompts and as the notification
// service for the guard's life.
class ScopedPrompts {
public:
    explicit ScopedPrompts(RecordingPrompts& prompts) {
        QVxAppPrompts::Set(&prompts);
        QVxNotification::Set(&prompts);
    }
    ~ScopedPrompts() {
        QVxAppPrompts::Set(nullptr);
        QVxNotification::Set(nullptr);
    }
    ScopedPrompts(const ScopedPrompts&) = delete;
    ScopedPrompts& operator=(const ScopedPrompts&) = delete;
};

// The child of `parent` with the control id `id` (object name "id" + the number), or null.
template <class T = QWidget>
T* Child(QWidget* parent, int id) {
    return parent->findChild<T*>(QVxWinGUI::ControlName(id));
}

// Saves a picture of `widget` as NAME.png in the folder $QVX_APP_SHOTS, when it is set.
inline void SaveShot(QWidget* widget, const QString& name) {
    if (const char* shots = std::getenv("QVX_APP_SHOTS"))
        widget->grab().save(QString::fromLocal8Bit(shots) + "/" + name + ".png");
}

}  // namespace qvx::test
