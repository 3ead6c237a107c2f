#include "QV+AnalogCore/QVxAppStrings.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<int, std::string_view>, 2> kTexts{{
    {kAppStringReportTooOld,
     "ver.2.0.0より前に取得したレポートデータは表示できません。設定ファイルのみ開きます。"},
    {kAppStringCacheFolderMissing,
     "キャッシュフォルダの指定先が見つかりません。\n環境設定の指定先フォルダを確認してください。"},
}};

}  // namespace

std::string_view QVxLoadAppString(int id) {
    const auto it =
        std::find_if(kTexts.begin(), kTexts.end(), [id](const auto& entry) { return entry.first == id; });
    return it != kTexts.end() ? it->second : std::string_view();
}
