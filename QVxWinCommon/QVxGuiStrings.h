#pragma once
// The GUI library's string table (ids 25001-25095): message and caption texts that
// both the GUI library and the program load by id. Ids without a text give "".

#include <string_view>

std::string_view QVxLoadGuiString(int id);
