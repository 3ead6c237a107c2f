#include "QV+Analog/Environment/QVxReenterChacheFolderDlg.h"

#include <spdlog/spdlog.h>

namespace fs = std::filesystem;

QVxReenterChacheFolderDlg::QVxReenterChacheFolderDlg(QWidget* parent, const QString& path)
    : QVxAnalogEnvDlg(parent, path,
                      {kTemplateId, QStringLiteral("キャッシュフォルダの再設定"),
                       QStringLiteral("キャッシュフォルダの指定先が見つかりませんでした。\n"
                                      "フォルダのアクセスを確認するか、正しいフォルダを入力して、"
                                      "OKボタンで継続してください。"),
                       QStringLiteral("アプリケーションの終了")}) {}

std::optional<fs::path> QVxReenterChacheFolderDlg::Ask(const fs::path& oldFolder) {
    spdlog::warn("Cache folder \"{}\" not found.", oldFolder.string());
    QVxReenterChacheFolderDlg dialog(nullptr, QString::fromStdU16String(oldFolder.u16string()));
    if (dialog.exec() != QDialog::Accepted) {
        spdlog::info("Start-up ended from the cache folder dialog.");
        return std::nullopt;
    }
    return fs::path(dialog.GetPath().toStdU16String());
}
