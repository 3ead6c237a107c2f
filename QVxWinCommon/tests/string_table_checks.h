#pragma once
// Checks of a string table (QVxStringRow rows) shared by the GUI library's and the
// program's table tests: unique ids, both forms present, no Japanese in the English
// form and the same format placeholders in both.

#include "QVxWinCommon/QVxLanguage.h"

#include <QString>

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace string_table_checks {

// Hiragana, katakana, CJK punctuation, CJK ideographs and full- and half-width forms.
inline bool HasJapanese(std::string_view text) {
    const QString decoded = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    for (const QChar c : decoded) {
        const char16_t u = c.unicode();
        if ((u >= 0x3000 && u <= 0x30FF) || (u >= 0x4E00 && u <= 0x9FFF) || (u >= 0xFF00 && u <= 0xFFEF))
            return true;
    }
    return false;
}

// The format placeholders in order: printf (%s, %d, %.1lf), Qt (%1, %L1) and fmt ({}).
inline std::vector<std::string> Placeholders(std::string_view text) {
    static const std::regex pattern(R"(%L?[0-9]+|%[-+ #0-9.]*l*[sdufxX]|\{[^}]*\})");
    std::vector<std::string> found;
    const std::string s(text);
    for (auto it = std::sregex_iterator(s.begin(), s.end(), pattern); it != std::sregex_iterator(); ++it)
        found.push_back(it->str());
    return found;
}

inline void ExpectSoundTable(std::span<const QVxStringRow> rows) {
    ASSERT_FALSE(rows.empty());
    std::set<int> ids;
    for (const QVxStringRow& row : rows) {
        SCOPED_TRACE("id " + std::to_string(row.id) + ": " + std::string(row.japanese));
        EXPECT_TRUE(ids.insert(row.id).second) << "the id is given twice";
        EXPECT_FALSE(row.japanese.empty());
        EXPECT_FALSE(row.english.empty());
        EXPECT_FALSE(HasJapanese(row.english)) << row.english;
        EXPECT_EQ(Placeholders(row.japanese), Placeholders(row.english)) << row.english;
    }
}

}  // namespace string_table_checks
