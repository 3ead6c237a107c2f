#pragma once
// The environment dialog ("環境設定"): edits the cache folder, in which captured
// data stays until the user saves a session. A folder edit with a browse button,
// "初期化" (back to the default cache folder), the interface language ("自動",
// "日本語", "English"; used from the next start), OK and Cancel. OK is refused with a
// message while the text is empty or names no existing folder. The dialog only
// holds the values; the caller stores them (EditPreferences does both). GUI thread
// only.

#include <QDialog>
#include <QString>

class QComboBox;
class QLabel;
class QSettings;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace qvx {
class AnalogEnvData;
}

class QVxAnalogEnvDlg : public QDialog {
    Q_OBJECT

public:
    // Dialog texts that differ between this dialog and the re-enter dialog.
    struct Texts {
        int templateId;
        QString title;
        QString message;  // the two lines of static 5093
        QString cancelText;
    };

    static constexpr int kTemplateId = 32783;
    static constexpr int kMessageId = 5093;
    static constexpr int kPathEditId = 32784;
    static constexpr int kResetButtonId = 32791;
    static constexpr int kOkButtonId = 1;
    static constexpr int kCancelButtonId = 2;
    static constexpr int kLanguageListId = 32792;
    static constexpr int kLanguageNoteId = 32793;
    // The folder edit's browse button has no id of its own.
    static constexpr const char* kBrowseButtonName = "browse32784";

    QVxAnalogEnvDlg(QWidget* parent, const QString& path);
    ~QVxAnalogEnvDlg() override;

    // The folder text; after OK an absolute path of an existing folder.
    QString GetPath() const;
    void SetPath(const QString& path);

    // The language choice: "auto", "ja" or "en" (QVxLanguageChoice.h).
    QString GetLanguageChoice() const;
    void SetLanguageChoice(const QString& choice);

    // OK: 32788 for an empty text, 32789 when it names no existing folder (a text of
    // only spaces included); both keep the dialog open.
    void accept() override;

    // Runs the environment dialog on the cache folder of `env` and the language
    // choice saved in `settings` (when given); on OK stores the new folder in `env`,
    // writes the preferences file and saves the language choice. True on OK, false
    // on Cancel (`env` untouched; a reset may still have created the default folders).
    static bool EditPreferences(QWidget* parent, qvx::AnalogEnvData& env, QSettings* settings = nullptr);

    // Reset button: asks 32782 (Yes / No) and on Yes puts the default cache folder,
    // created when missing, into the edit.
    void OnReset();
    // Browse button: the folder browser titled 32787, starting at the current text.
    void OnBrowse();

protected:
    QVxAnalogEnvDlg(QWidget* parent, const QString& path, const Texts& texts);

private:
    void AddLanguageRow();

    QLabel* m_message = nullptr;
    QLineEdit* m_pathEdit = nullptr;
    QToolButton* m_browseButton = nullptr;
    QPushButton* m_resetButton = nullptr;
    QPushButton* m_okButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QComboBox* m_languageList = nullptr;  // the environment dialog only
};
