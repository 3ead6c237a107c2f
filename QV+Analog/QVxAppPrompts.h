#pragma once
// Every message box, yes/no question and file or folder dialog of the application
// goes through one replaceable service, so that tests answer them with paths and
// record the texts instead of showing modal windows. GUI thread only.

#include "QVxCore/Recovery/OrphanedRecordings.h"

#include <QString>

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

class QWidget;

// The answer to "save the recording first?".
enum class QVxSaveChoice { kSave, kDiscard, kCancel };

// The answer to the start-up list of orphaned recordings: the one to open (none), the
// ones to delete; the others are kept for later.
struct QVxRecoveryAnswer {
    std::optional<std::size_t> open;
    std::vector<std::size_t> discard;
};

class IQVxAppPrompts {
public:
    virtual ~IQVxAppPrompts() = default;
    // A message box with an OK button.
    virtual void ShowMessage(QWidget* parent, const QString& text) = 0;
    // A Yes / No question; true for Yes.
    virtual bool AskYesNo(QWidget* parent, const QString& text) = 0;
    // A Yes / No question before something is deleted for good: No is the default
    // button, so Enter never deletes. True for Yes.
    virtual bool ConfirmDeletion(QWidget* parent, const QString& text) { return AskYesNo(parent, text); }
    // Save / Discard / Cancel, for a recording that would be lost otherwise.
    virtual QVxSaveChoice AskSaveDiscardCancel(QWidget* parent, const QString& text) = 0;
    // The orphaned recordings found at start-up, with what to do with each.
    virtual QVxRecoveryAnswer AskRecovery(QWidget* parent,
                                          const std::vector<qvx::OrphanedRecording>& list) = 0;
    // File dialogs with a Qt filter ("desc (*.ext)"), starting in `startFolder` (empty: the
    // dialog's own choice); empty when cancelled.
    virtual QString GetOpenFileName(QWidget* parent, const QString& filter,
                                    const QString& startFolder = {}) = 0;
    // Asks before overwriting; `defaultSuffix` is appended to a name without one.
    virtual QString GetSaveFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                                    const QString& startFolder = {}) = 0;
    // A folder browser titled `title`, starting in `start`; empty when cancelled.
    virtual QString GetExistingDirectory(QWidget* parent, const QString& title, const QString& start) = 0;
};

namespace QVxAppPrompts {

// The service in use: the installed one, else the Qt dialogs.
IQVxAppPrompts& Get();
// Installs `prompts` (not owned; null restores the Qt dialogs).
void Set(IQVxAppPrompts* prompts);

// "desc(*.a)|*.a|desc2|*.b||" (the string table's filter form) as a Qt filter
// "desc(*.a);;desc2 (*.b)".
QString QtFilterFromTable(std::string_view filter);

}  // namespace QVxAppPrompts
