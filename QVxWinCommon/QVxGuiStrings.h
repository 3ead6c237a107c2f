#pragma once
// The GUI library's string table (ids 25001-25199 and the command prompts
// 17001-17015): message and caption texts that both the GUI library and the
// program load by id, in Japanese and English (QVxLanguage.h). Ids without a text
// give "". To add a text: add a named id below and a row {id, Japanese, English}
// in QVxGuiStrings.cpp; the tests check every row has both forms.

#include "QVxWinCommon/QVxLanguage.h"

#include <span>
#include <string_view>

inline constexpr int kGuiStringTimeUnitMenu = 25100;
inline constexpr int kGuiStringChannelsMenu = 25101;
inline constexpr int kGuiStringExportMarkerRange = 25102;
inline constexpr int kGuiStringClose = 25103;
inline constexpr int kGuiStringNotANumber = 25104;      // %1: the typed text
inline constexpr int kGuiStringClampedToRange = 25105;  // %1-%2 the range, %3 the unit, %4 the value set
inline constexpr int kGuiStringCancel = 25106;
inline constexpr int kGuiStringBuildingOverview = 25107;  // %1: percent done

std::string_view QVxLoadGuiString(int id);

// Every row of the table (for the tests).
std::span<const QVxStringRow> QVxGuiStringRows();
