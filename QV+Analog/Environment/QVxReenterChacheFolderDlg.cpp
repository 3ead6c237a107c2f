#include "QV+Analog/Environment/QVxReenterChacheFolderDlg.h"

#include <spdlog/spdlog.h>
#include "QV+Analog/QVxAppText.h"

namespace fs = std::filesystem;

QVxReenterChacheFolderDlg::QVxReenterChacheFolderDlg(QWidget* parent, const QString& path)
    : QVxAnalogEnvDlg(parent, path,
                      {kTemplateId, QVxAppString(kAppStringReenterCacheTitle),
                       QVxAppString(kAppStringReenterCacheText), QVxAppString(kAppStringExitButton)}) {}

std::optional<fs::path> QVxReenterChacheFolderDlg::Ask(const fs::path& oldFolder) {
    spdlog::warn("Cache folder \"{}\" not found.", oldFolder.string());
    QVxReenterChacheFolderDlg dialog(nullptr, QString::fromStdU16String(oldFolder.u16string()));
    if (dialog.exec() != QDialog::Accepted) {
        spdlog::info("Start-up ended from the cache folder dialog.");
        return std::nullopt;
    }
    return fs::path(dialog.GetPath().toStdU16String());
}
