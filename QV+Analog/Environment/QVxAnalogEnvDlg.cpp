#include "QV+Analog/Environment/QVxAnalogEnvDlg.h"

#include "QV+Analog/QVxAppText.h"

#include "QV+Analog/QVxAppPrompts.h"
#include "QV+Analog/QVxLanguageChoice.h"
#include "QV+AnalogCore/QVxAppStrings.h"
#include "QVxCore/AnalogEnvData.h"
#include "QVxWinGUICommon/QVxWinGUI.h"

#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <spdlog/spdlog.h>

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

fs::path ToPath(const QString& text) {
    return fs::path(text.toStdU16String());
}

QString FromPath(const fs::path& path) {
    return QString::fromStdU16String(path.u16string());
}

QVxAnalogEnvDlg::Texts EnvironmentTexts() {
    return {QVxAnalogEnvDlg::kTemplateId, QVxAppString(kAppStringEnvironmentTitle),
            QVxAppString(kAppStringCacheFolderGroup), QVxWinGUI::LoadStringW(kGuiStringCancel)};
}

}  // namespace

QVxAnalogEnvDlg::QVxAnalogEnvDlg(QWidget* parent, const QString& path)
    : QVxAnalogEnvDlg(parent, path, EnvironmentTexts()) {
    AddLanguageRow();
}

void QVxAnalogEnvDlg::AddLanguageRow() {
    auto* caption = new QLabel(QVxAppString(kAppStringLanguage), this);
    m_languageList = new QComboBox(this);
    m_languageList->setObjectName(QVxWinGUI::ControlName(kLanguageListId));
    m_languageList->addItem(QVxAppString(kAppStringLanguageAutomatic), QStringLiteral("auto"));
    m_languageList->addItem(QVxAppString(kAppStringLanguageJapanese), QStringLiteral("ja"));
    m_languageList->addItem(QVxAppString(kAppStringLanguageEnglish), QStringLiteral("en"));
    caption->setBuddy(m_languageList);
    auto* note = new QLabel(QVxAppString(kAppStringLanguageNextStart), this);
    note->setObjectName(QVxWinGUI::ControlName(kLanguageNoteId));

    auto* row = new QHBoxLayout;
    row->addWidget(caption);
    row->addWidget(m_languageList);
    row->addSpacing(6);
    row->addWidget(note);
    row->addStretch(1);
    // Below the folder row, above the OK / Cancel row.
    auto* dialogLayout = static_cast<QVBoxLayout*>(layout());
    dialogLayout->insertLayout(dialogLayout->count() - 1, row);
}

QString QVxAnalogEnvDlg::GetLanguageChoice() const {
    return m_languageList ? m_languageList->currentData().toString() : QStringLiteral("auto");
}

void QVxAnalogEnvDlg::SetLanguageChoice(const QString& choice) {
    if (!m_languageList) return;
    const int index = m_languageList->findData(choice);
    m_languageList->setCurrentIndex(index >= 0 ? index : 0);
}

QVxAnalogEnvDlg::QVxAnalogEnvDlg(QWidget* parent, const QString& path, const Texts& texts) : QDialog(parent) {
    setObjectName(QStringLiteral("dlg%1").arg(texts.templateId));
    setWindowTitle(texts.title);
    setFont(QVxWinGUI::GuiFont(9));
    setModal(true);

    m_message = new QLabel(texts.message, this);
    m_message->setObjectName(QVxWinGUI::ControlName(kMessageId));
    m_message->setWordWrap(true);

    m_pathEdit = new QLineEdit(path, this);
    m_pathEdit->setObjectName(QVxWinGUI::ControlName(kPathEditId));
    m_pathEdit->setMinimumWidth(470);  // the longer message line fits on one line

    m_browseButton = new QToolButton(this);
    m_browseButton->setObjectName(QString::fromLatin1(kBrowseButtonName));
    m_browseButton->setText(QStringLiteral("..."));
    m_browseButton->setToolTip(QVxAppString(kAppStringCacheFolderBrowseTitle));

    m_resetButton = new QPushButton(QVxAppString(kAppStringResetButton), this);
    m_resetButton->setObjectName(QVxWinGUI::ControlName(kResetButtonId));
    m_resetButton->setAutoDefault(false);

    m_okButton = new QPushButton(QStringLiteral("OK"), this);
    m_okButton->setObjectName(QVxWinGUI::ControlName(kOkButtonId));
    m_okButton->setDefault(true);

    m_cancelButton = new QPushButton(texts.cancelText, this);
    m_cancelButton->setObjectName(QVxWinGUI::ControlName(kCancelButtonId));
    m_cancelButton->setAutoDefault(false);

    auto* pathRow = new QHBoxLayout;
    pathRow->setSpacing(2);
    pathRow->addWidget(m_pathEdit, 1);
    pathRow->addWidget(m_browseButton);
    pathRow->addSpacing(6);
    pathRow->addWidget(m_resetButton);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(m_okButton);
    buttonRow->addWidget(m_cancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(8);
    layout->addWidget(m_message);
    layout->addLayout(pathRow);
    layout->addSpacing(4);
    layout->addLayout(buttonRow);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_browseButton, &QToolButton::clicked, this, [this] { OnBrowse(); });
    connect(m_resetButton, &QPushButton::clicked, this, [this] { OnReset(); });
    connect(m_okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

QVxAnalogEnvDlg::~QVxAnalogEnvDlg() = default;

QString QVxAnalogEnvDlg::GetPath() const {
    return m_pathEdit->text();
}

void QVxAnalogEnvDlg::SetPath(const QString& path) {
    m_pathEdit->setText(path);
}

void QVxAnalogEnvDlg::OnBrowse() {
    const QString folder = QVxAppPrompts::Get().GetExistingDirectory(
        this, QVxAppString(kAppStringCacheFolderBrowseTitle), m_pathEdit->text());
    if (!folder.isEmpty()) m_pathEdit->setText(QDir::toNativeSeparators(folder));
}

void QVxAnalogEnvDlg::OnReset() {
    if (!QVxAppPrompts::Get().AskYesNo(this, QVxAppString(kAppStringResetCacheFolder))) return;
    const auto folder = qvx::AnalogEnvData::GetDefaultCacheFolder(true);
    if (!folder) {
        // The default folders could not be made (logged by the path builder).
        QVxAppPrompts::Get().ShowMessage(this, QVxAppString(kAppStringCacheFolderNotFound));
        return;
    }
    m_pathEdit->setText(FromPath(*folder));
}

void QVxAnalogEnvDlg::accept() {
    const QString text = m_pathEdit->text();
    if (text.isEmpty()) {
        QVxAppPrompts::Get().ShowMessage(this, QVxAppString(kAppStringEnterCacheFolder));
        m_pathEdit->setFocus();
        return;
    }
    // The text is taken as it stands: surrounding spaces are part of the name, so
    // a text of only spaces names no folder.
    std::error_code ec;
    const fs::path folder = ToPath(text);
    if (!fs::is_directory(folder, ec)) {
        QVxAppPrompts::Get().ShowMessage(this, QVxAppString(kAppStringCacheFolderNotFound));
        m_pathEdit->setFocus();
        return;
    }
    // A relative folder would move with the working folder of the next run.
    const fs::path absolute = fs::absolute(folder, ec);
    if (!ec) m_pathEdit->setText(FromPath(absolute.lexically_normal()));
    QDialog::accept();
}

bool QVxAnalogEnvDlg::EditPreferences(QWidget* parent, qvx::AnalogEnvData& env, QSettings* settings) {
    QVxAnalogEnvDlg dialog(parent, FromPath(env.GetCacheFolderPath()));
    if (settings) dialog.SetLanguageChoice(SavedLanguageChoice(*settings));
    if (dialog.exec() != QDialog::Accepted) return false;
    if (settings) SaveLanguageChoice(*settings, dialog.GetLanguageChoice());
    env.SetCacheFolderPath(ToPath(dialog.GetPath()));
    spdlog::info("Cache folder set to \"{}\".", dialog.GetPath().toStdString());
    env.SavePrefs();
    return true;
}
