#pragma once
// The cache-folder dialog of start-up ("キャッシュフォルダの再設定"): shown when the
// stored cache folder cannot be found. Same controls and checks as the environment
// dialog; its second button "アプリケーションの終了" ends the program. GUI thread only.

#include "QV+Analog/Environment/QVxAnalogEnvDlg.h"

#include <filesystem>
#include <optional>

class QVxReenterChacheFolderDlg : public QVxAnalogEnvDlg {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 331;

    QVxReenterChacheFolderDlg(QWidget* parent, const QString& path);

    // Runs the dialog on `oldFolder`: the entered folder on OK, none when the user
    // chose "アプリケーションの終了". Made for qvx::AnalogEnvData::MakeCacheFolderRepair.
    static std::optional<std::filesystem::path> Ask(const std::filesystem::path& oldFolder);
};
