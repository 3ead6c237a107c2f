#pragma once
// The program's string `id` (QVxLoadAppString) as a QString for the widgets.

#include "QV+AnalogCore/QVxAppStrings.h"

#include <QString>

inline QString QVxAppString(int id) {
    const std::string_view text = QVxLoadAppString(id);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
