#include "QVxWinGUICommon/QVxWinGUI.h"

#include "QVxWinCommon/QVxGuiStrings.h"

#include <QFile>
#include <QLabel>
#include <QStringList>

#include <spdlog/spdlog.h>

namespace QVxWinGUI {

QString LoadStringW(int id) {
    const std::string_view text = QVxLoadGuiString(id);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QFont GuiFont(int points) {
    QFont font;
    font.setFamilies(QStringList{"Meiryo UI", "Noto Sans CJK JP", "sans-serif"});
    font.setPointSize(points);
    return font;
}

QLabel* MakeLabel(QWidget* parent, int id, int stringId) {
    auto* label = new QLabel(LoadStringW(stringId), parent);
    label->setObjectName(ControlName(id));
    return label;
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
