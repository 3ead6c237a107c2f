#include "QVxWinGUICommon/QVxWinGUI.h"

#include "QVxCore/TaskDispatcher.h"
#include "QVxWinCommon/QVxGuiStrings.h"

#include <QFile>
#include <QStringList>

#include <spdlog/spdlog.h>

#include <array>
#include <utility>

namespace {

// Status-bar text and tooltip of the monitor window's context-menu commands,
// separated by a line break.
constexpr std::array<std::pair<int, const char*>, 15> kCommandPrompts{{
    {17001, "グラフをクリップボードにコピー\nコピー"},
    {17002, "時間単位をナノ秒[ns]に切り替え\nナノ秒[ns]"},
    {17003, "時間単位をマイクロ秒[us]に切り替え\nマイクロ秒[us]"},
    {17004, "時間単位をミリ秒[ms]に切り替え\nミリ秒[ms]"},
    {17005, "時間単位を秒[s]に切り替え\n秒[s]"},
    {17006, "マーカー1を移動\nマーカー1(M1) をここに移動(Click)"},
    {17007, "マーカー2を移動\nマーカー2(M2) をここに移動(Shift+Click)"},
    {17008, "CH1の表示/非表示を切り替え\nCH1"},
    {17009, "CH2の表示/非表示を切り替え\nCH2"},
    {17010, "CH3の表示/非表示を切り替え\nCH3"},
    {17011, "CH4の表示/非表示を切り替え\nCH4"},
    {17012, "CH5の表示/非表示を切り替え\nCH5"},
    {17013, "CH6の表示/非表示を切り替え\nCH6"},
    {17014, "CH7の表示/非表示を切り替え\nCH7"},
    {17015, "CH8の表示/非表示を切り替え\nCH8"},
}};

}  // namespace

namespace QVxWinGUI {

bool Init() {
    if (qvx::Dispatcher::GetMainInstance()) return true;
    return qvx::Dispatcher::AttachMain(qvx::Dispatcher::kQtEventLoop);
}

void Exit() {
    if (qvx::Dispatcher::GetMainInstance()) qvx::Dispatcher::DestroyMain();
}

QString LoadStringW(int id) {
    for (const auto& [promptId, text] : kCommandPrompts) {
        if (promptId == id) return QString::fromUtf8(text);
    }
    const std::string_view text = QVxLoadGuiString(id);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QFont GuiFont(int points) {
    QFont font;
    font.setFamilies(QStringList{"Meiryo UI", "Noto Sans CJK JP", "sans-serif"});
    font.setPointSize(points);
    return font;
}

}  // namespace QVxWinGUI

namespace QVxUtils {

std::shared_ptr<QPixmap> LoadImageFromResource(int resourceId) {
    const QString path = QStringLiteral(":/png/%1").arg(resourceId);
    QFile file(path);
    if (!file.exists()) {
        spdlog::error("Failed FindResource(). [QVxUtils::LoadImageFromResource] id {}", resourceId);
        return {};
    }
    auto image = std::make_shared<QPixmap>();
    if (!image->load(path, "PNG")) {
        spdlog::error("Failed Gdiplus::Bitmap::FromStream(). [QVxUtils::LoadImageFromResource] id {}",
                      resourceId);
        return {};
    }
    return image;
}

}  // namespace QVxUtils
