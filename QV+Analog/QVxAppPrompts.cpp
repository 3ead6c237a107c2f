#include "QV+Analog/QVxAppPrompts.h"

#include "QV+Analog/Environment/CQVxRecoveryDlg.h"
#include "QV+Analog/QVxAppText.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

namespace {

class QtPrompts : public IQVxAppPrompts {
public:
    void ShowMessage(QWidget* parent, const QString& text) override {
        QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), text, QMessageBox::Ok,
                        parent);
        box.exec();
    }
    bool AskYesNo(QWidget* parent, const QString& text) override {
        QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(), text,
                        QMessageBox::Yes | QMessageBox::No, parent);
        return box.exec() == QMessageBox::Yes;
    }
    bool ConfirmDeletion(QWidget* parent, const QString& text) override {
        QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(), text,
                        QMessageBox::Yes | QMessageBox::No, parent);
        box.button(QMessageBox::Yes)->setText(QVxAppString(kAppStringDiscardButton));
        box.button(QMessageBox::No)->setText(QVxWinGUI::LoadStringW(kGuiStringCancel));
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    }
    QVxSaveChoice AskSaveDiscardCancel(QWidget* parent, const QString& text) override {
        QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(), text,
                        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
        box.button(QMessageBox::Save)->setText(QVxAppString(kAppStringSaveButton));
        box.button(QMessageBox::Discard)->setText(QVxAppString(kAppStringDontSaveButton));
        box.button(QMessageBox::Cancel)->setText(QVxWinGUI::LoadStringW(kGuiStringCancel));
        box.setDefaultButton(QMessageBox::Save);
        switch (box.exec()) {
            case QMessageBox::Save:
                return QVxSaveChoice::kSave;
            case QMessageBox::Discard:
                return QVxSaveChoice::kDiscard;
            default:
                return QVxSaveChoice::kCancel;
        }
    }
    QVxRecoveryAnswer AskRecovery(QWidget* parent, const std::vector<qvx::OrphanedRecording>& list) override {
        CQVxRecoveryDlg dialog(list, parent);
        dialog.exec();
        return dialog.Answer();
    }
    QString GetOpenFileName(QWidget* parent, const QString& filter,
                            const QString& startFolder = {}) override {
        return QFileDialog::getOpenFileName(parent, QString(), startFolder, filter);
    }
    QString GetSaveFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                            const QString& startFolder = {}) override {
        QFileDialog dialog(parent, QString(), startFolder, filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(defaultSuffix);
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
                   ? dialog.selectedFiles().front()
                   : QString();
    }
    QString GetExistingDirectory(QWidget* parent, const QString& title, const QString& start) override {
        return QFileDialog::getExistingDirectory(parent, title, start);
    }
};

QtPrompts s_qtPrompts;
IQVxAppPrompts* s_prompts = nullptr;

}  // namespace

namespace QVxAppPrompts {

IQVxAppPrompts& Get() {
    return s_prompts ? *s_prompts : s_qtPrompts;
}

void Set(IQVxAppPrompts* prompts) {
    s_prompts = prompts;
}

QString QtFilterFromTable(std::string_view filter) {
    const QStringList parts = QString::fromUtf8(filter.data(), qsizetype(filter.size())).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) break;
        // A description that already names its pattern in parentheses is kept as it is.
        filters << (parts[i].contains('(') ? parts[i] : parts[i] + " (" + parts[i + 1] + ")");
    }
    return filters.join(";;");
}

}  // namespace QVxAppPrompts
