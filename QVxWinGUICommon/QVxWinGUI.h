#pragma once
// Library-wide helpers of the GUI library: its string table, its fonts and its
// images. GUI thread only. The library has no set-up of its own: it shares the
// program's main dispatcher (qvx::Dispatcher::AttachMain) and language
// (QVxSetLanguage) through the shared core libraries.

#include "QVxWinCommon/QVxGuiStrings.h"
#include "QVxWinGUICommon/QVxWinGUICommonExport.h"

#include <QFont>
#include <QPixmap>
#include <QString>

#include <memory>

class QLabel;
class QWidget;

namespace QVxWinGUI {

// The library's string `id` (QVxLoadGuiString: 25001-25199 and the command prompts
// 17001-17015) in the current language; an unknown id gives an empty string.
QVXWINGUICOMMON_EXPORT QString LoadStringW(int id);

// The object name of the control with resource id `id` ("id<N>"); tests find
// controls by it.
inline QString ControlName(int id) {
    return QStringLiteral("id%1").arg(id);
}

// A label of the library's string `stringId` in `parent`, named as control `id`.
QVXWINGUICOMMON_EXPORT QLabel* MakeLabel(QWidget* parent, int id, int stringId);

// The object name of the menu action of command `id` ("cmd<N>").
inline QString CommandName(int id) {
    return QStringLiteral("cmd%1").arg(id);
}

// The library's font of `points` size (8, 10 or 15 are the ones in use): "Meiryo UI",
// then "Noto Sans CJK JP", then the default sans-serif.
QVXWINGUICOMMON_EXPORT QFont GuiFont(int points);

}  // namespace QVxWinGUI

namespace QVxUtils {

// The library's PNG image `resourceId` (Qt resource ":/png/<id>"); empty on failure
// (logged "Failed Gdiplus::Bitmap::FromStream()." or "Failed FindResource().").
QVXWINGUICOMMON_EXPORT std::shared_ptr<QPixmap> LoadImageFromResource(int resourceId);

}  // namespace QVxUtils
