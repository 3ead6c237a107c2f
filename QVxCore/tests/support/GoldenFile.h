#pragma once
// Golden-file comparison for the files the libraries write: a file written by the real code
// path against a small checked-in copy, byte for byte. On a mismatch the message names the
// first differing byte (offset, line and column) and shows both sides around it, as text and
// as hex. With QVX_UPDATE_GOLDEN=1 in the environment the golden is rewritten instead (the
// test then fails, so that an update is never silent); review the diff before committing.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace qvx::test {

inline std::string ReadGoldenBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// `bytes` [at - 16, at + 16) as printable text and as hex.
inline std::string GoldenContext(const std::string& bytes, std::size_t at) {
    const std::size_t from = at > 16 ? at - 16 : 0;
    const std::size_t to = std::min(bytes.size(), at + 16);
    std::string text;
    std::ostringstream hex;
    for (std::size_t i = from; i < to; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        text += c == '\n' ? std::string("\\n") : (c >= 0x20 && c < 0x7f ? std::string(1, char(c)) : ".");
        char cell[4];
        std::snprintf(cell, sizeof cell, "%02x", c);
        hex << (i == at ? "[" : " ") << cell << (i == at ? "]" : "");
    }
    return "\"" + text + "\"\n      " + hex.str();
}

// Empty when equal; otherwise where `actual` first differs from `golden`.
inline std::string FirstGoldenDifference(const std::string& golden, const std::string& actual) {
    const auto mismatch = std::mismatch(golden.begin(), golden.end(), actual.begin(), actual.end());
    if (mismatch.first == golden.end() && mismatch.second == actual.end()) return {};
    const auto at = static_cast<std::size_t>(mismatch.first - golden.begin());
    const auto line = 1 + std::count(golden.begin(), mismatch.first, '\n');
    const auto lineStart = golden.rfind('\n', at == 0 ? 0 : at - 1);
    const std::size_t column = at == 0 || lineStart == std::string::npos ? at + 1 : at - lineStart;
    std::ostringstream out;
    out << "first difference at byte " << at << " (0x" << std::hex << at << std::dec << "), line " << line
        << ", column " << column << "; golden " << golden.size() << " bytes, written " << actual.size()
        << " bytes\n  golden:  " << GoldenContext(golden, at) << "\n  written: " << GoldenContext(actual, at);
    return out.str();
}

// Compares `actual` with the golden file `goldenDir`/`name`.
inline void ExpectMatchesGolden(const std::filesystem::path& goldenDir, const std::string& name,
                                const std::string& actual) {
    const std::filesystem::path golden = goldenDir / name;
    if (const char* update = std::getenv("QVX_UPDATE_GOLDEN"); update && std::string(update) == "1") {
        std::ofstream(golden, std::ios::binary | std::ios::trunc) << actual;
        ADD_FAILURE() << "golden rewritten: " << golden;
        return;
    }
    ASSERT_TRUE(std::filesystem::exists(golden))
        << "missing golden " << golden << " (run once with QVX_UPDATE_GOLDEN=1)";
    const std::string difference = FirstGoldenDifference(ReadGoldenBytes(golden), actual);
    EXPECT_TRUE(difference.empty()) << golden << ": " << difference;
}

inline void ExpectFileMatchesGolden(const std::filesystem::path& goldenDir, const std::string& name,
                                    const std::filesystem::path& written) {
    ASSERT_TRUE(std::filesystem::exists(written)) << written;
    ExpectMatchesGolden(goldenDir, name, ReadGoldenBytes(written));
}

}  // namespace qvx::test
