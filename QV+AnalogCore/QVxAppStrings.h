#pragma once
// The program's own string table (message texts shown by the analog view model);
// the GUI library's texts 25001-25095 come from QVxLoadGuiString. Ids without a
// text give "".

#include <string_view>

inline constexpr int kAppStringReportTooOld = 20007;
inline constexpr int kAppStringCacheFolderMissing = 32790;

std::string_view QVxLoadAppString(int id);
