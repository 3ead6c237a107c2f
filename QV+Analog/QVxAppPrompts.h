#pragma once
// Every message box, yes/no question and file or folder dialog of the application
// goes through one replaceable service, so that tests answer them with paths and
// record the texts instead of showing modal windows. GUI thread only.

#include <QString>

#include <string_view>

class QWidget;

class IQVxAppPrompts {
public:
    virtual ~IQVxAppPrompts() = default;
    // A message box with an OK button.
    virtual void ShowMessage(QWidget* parent, const QString& text) = 0;
    // A Yes / No question; true for Yes.
    virtual bool AskYesNo(QWidget* parent, const QString& text) = 0;
    // File dialogs with a Qt filter ("desc (*.ext)"); empty when cancelled.
    virtual QString GetOpenFileName(QWidget* parent, const QString& filter) = 0;
    // Asks before overwriting; `defaultSuffix` is appended to a name without one.
    virtual QString GetSaveFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix) = 0;
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
