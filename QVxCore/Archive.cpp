#include "QVxCore/Archive.h"

// cereal's JSON header must come first: it makes rapidjson's assertions throw.
#include <cereal/archives/json.hpp>

#include "QVxCore/ArchiveSerialization.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

namespace qvx::Archive {

namespace {

void LogPathAndReason(const char* message, const std::filesystem::path& path, const std::string& reason) {
    spdlog::error(fmt::runtime(message), path.string());
    spdlog::error("{}", reason);
}

// Serialises `value` as the root member value0 with cereal's default JSON options:
// four-space indentation and full double precision.
template <class T>
std::string ToJson(T&& value) {
    std::ostringstream out;
    {
        cereal::JSONOutputArchive archive(out);
        archive(cereal::make_nvp("value0", value));
    }  // the archive closes the root object when destroyed
    return out.str();
}

// Deepest nesting of arrays and objects a file may have. The settings nest four levels;
// rapidjson's reader (used by cereal) recurses once per level, so a file of nothing but
// brackets would otherwise exhaust the stack.
constexpr int kMaxJsonDepth = 32;

// True for the numbers the system's rapidjson (1.1) misparses in its full-precision path,
// computing with clz(0), shifts past 63 bits and cached-power indices out of range, so that
// the value comes out as garbage (or the reader reads outside its tables):
// - a zero with an exponent ("0e308") or with more than 19 digits ("0.000...0");
// - more than 19 significant digits (beyond what its 64-bit significand holds);
// - a first significant digit below 1e-307 or above 1e308, counting the leading zeros of
//   the fraction ("0.<330 zeros>1" reads as -2e301).
// This program writes at most 17 significant digits of normal doubles, so none of these
// occurs in its files.
bool IsMisparsedNumber(std::string_view number) {
    constexpr auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    const std::size_t exponentMark = number.find_first_of("eE");
    const std::string_view mantissa = number.substr(0, exponentMark);
    const std::size_t first = mantissa.find_first_of("123456789");
    if (first == std::string_view::npos)
        return exponentMark != std::string_view::npos ||
               std::count_if(mantissa.begin(), mantissa.end(), isDigit) > 19;
    const auto significant =
        std::count_if(mantissa.begin() + static_cast<std::ptrdiff_t>(first), mantissa.end(), isDigit);
    if (significant > 19) return true;

    long exponent = 0;
    if (exponentMark != std::string_view::npos) {
        const std::string_view text = number.substr(exponentMark + 1);
        if (text.size() > 6) return true;  // far beyond the range of a double either way
        exponent = std::strtol(std::string(text).c_str(), nullptr, 10);
    }
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    const long firstDigitPower =
        first < point ? static_cast<long>(point - first - 1) : -static_cast<long>(first - point);
    const long magnitude = exponent + firstDigitPower;
    return magnitude < -307 || magnitude > 308;
}

// The syntax check before cereal reads the file, with the two refusals above. Parses
// iteratively, so the check itself never recurses.
struct JsonSafetyCheck : rapidjson::BaseReaderHandler<rapidjson::UTF8<>, JsonSafetyCheck> {
    int depth = 0;
    std::string refusal;

    bool Enter() {
        if (++depth <= kMaxJsonDepth) return true;
        refusal = fmt::format("JSON nested deeper than {} levels", kMaxJsonDepth);
        return false;
    }
    bool Leave() {
        --depth;
        return true;
    }
    bool StartObject() { return Enter(); }
    bool EndObject(rapidjson::SizeType) { return Leave(); }
    bool StartArray() { return Enter(); }
    bool EndArray(rapidjson::SizeType) { return Leave(); }
    bool RawNumber(const char* text, rapidjson::SizeType length, bool) {
        if (!IsMisparsedNumber({text, length})) return true;
        refusal =
            fmt::format("unsupported number {}", std::string_view(text, std::min<std::size_t>(length, 32)));
        return false;
    }
};

void CheckJson(const std::string& text) {
    rapidjson::Reader reader;
    rapidjson::StringStream stream(text.c_str());
    JsonSafetyCheck check;
    const rapidjson::ParseResult result =
        reader.Parse<rapidjson::kParseIterativeFlag | rapidjson::kParseNumbersAsStringsFlag |
                     rapidjson::kParseNanAndInfFlag | rapidjson::kParseStopWhenDoneFlag>(stream, check);
    if (!check.refusal.empty()) throw std::runtime_error(check.refusal);
    if (result.IsError()) {
        throw std::runtime_error(fmt::format("JSON syntax error at offset {}: {}", result.Offset(),
                                             rapidjson::GetParseError_En(result.Code())));
    }
    // Only whitespace may follow the root value.
    const std::size_t end = stream.Tell();
    if (text.find_first_not_of(" \t\r\n", end) != std::string::npos) {
        throw std::runtime_error(
            fmt::format("JSON syntax error at offset {}: {}", end,
                        rapidjson::GetParseError_En(rapidjson::kParseErrorDocumentRootNotSingular)));
    }
    if (text.find_first_not_of(" \t\r\n") == std::string::npos ||
        text[text.find_first_not_of(" \t\r\n")] != '{')
        throw std::runtime_error("JSON root is not an object");
}

// Parses `text` and loads the root member value0 into `value`. Throws on any
// syntax, missing-member or type error.
template <class T>
void FromJson(const std::string& text, T&& value) {
    CheckJson(text);
    std::istringstream in(text);
    cereal::JSONInputArchive archive(in);
    archive(cereal::make_nvp("value0", value));
}

template <class T>
bool SaveRoot(T&& value, const std::filesystem::path& path) {
    std::string bytes;
    try {
        bytes = ToJson(std::forward<T>(value));
    } catch (const std::exception& e) {
        LogPathAndReason("Serialization error: {}", path, e.what());
        return false;
    }
    return WriteFileAtomically(path, bytes);
}

template <class T>
bool LoadRoot(T&& value, const std::filesystem::path& path) {
    const std::optional<std::string> text = ReadWholeFile(path);
    if (!text) return false;
    try {
        FromJson(*text, std::forward<T>(value));
    } catch (const std::exception& e) {
        LogPathAndReason("Deserialization error: {}", path, e.what());
        return false;
    }
    return true;
}

}  // namespace

bool Save(AnalogSettings& settings, const std::filesystem::path& path) {
    if (!SaveRoot(std::as_const(settings), path)) return false;
    settings.SetClassVersion(AnalogSettings::kClassVersion);
    return true;
}

bool Load(AnalogSettings& settings, const std::filesystem::path& path) {
    // Load into a copy so that a failure leaves the caller's object as it was.
    AnalogSettings loaded = settings;
    if (!LoadRoot(loaded, path)) return false;
    settings = std::move(loaded);
    return true;
}

bool Save(const AnalogDisplayTriggerList& list, const std::filesystem::path& path) {
    return SaveRoot(archive_detail::MetadataRef<const AnalogDisplayTriggerList>{list}, path);
}

bool Load(AnalogDisplayTriggerList& list, const std::filesystem::path& path) {
    AnalogDisplayTriggerList loaded;
    if (!LoadRoot(archive_detail::MetadataRef<AnalogDisplayTriggerList>{loaded}, path)) return false;
    list = std::move(loaded);
    return true;
}

bool SaveMetadata(const AnalogDisplayTriggerList& hits, const AnalogBookmarkList& bookmarks,
                  const std::filesystem::path& path) {
    return SaveRoot(archive_detail::MetadataWithBookmarksRef{hits, bookmarks}, path);
}

namespace {

// One entry of the member "bookmarks"; the problem (with the member's name) when it is
// malformed. `usedIds` collects the ids of the entries taken so far.
std::optional<AnalogBookmark> ReadBookmark(const rapidjson::Value& entry, const std::string& where,
                                           const std::vector<std::int32_t>& usedIds, std::string& problem,
                                           std::string& warning) {
    if (!entry.IsObject()) {
        problem = where + ": not an object";
        return std::nullopt;
    }
    const auto member = [&](const char* name) -> const rapidjson::Value* {
        const auto it = entry.FindMember(name);
        return it == entry.MemberEnd() ? nullptr : &it->value;
    };
    const auto fail = [&](const char* name, const std::string& why) {
        problem = where + "." + name + ": " + why;
        return std::nullopt;
    };
    AnalogBookmark b;
    const rapidjson::Value* id = member("id");
    if (!id || !id->IsInt() || id->GetInt() < 1 || id->GetInt() > 1'000'000'000)
        return fail("id", "missing or not a whole number from 1 to 1000000000");
    b.id = id->GetInt();
    if (std::find(usedIds.begin(), usedIds.end(), b.id) != usedIds.end())
        return fail("id", fmt::format("{} is used by an earlier bookmark", b.id));
    const rapidjson::Value* time = member("timeNSec");
    if (!time || !time->IsInt64() || time->GetInt64() < 0)
        return fail("timeNSec", "missing or not a whole number of 0 or more");
    b.timeNSec = time->GetInt64();
    for (auto [name, text] : {std::pair{"name", &b.name}, std::pair{"note", &b.note}}) {
        const rapidjson::Value* value = member(name);
        if (!value || !value->IsString()) return fail(name, "missing or not a text");
        text->assign(value->GetString(), value->GetStringLength());
        if (auto why = CheckBookmarkText(*text, name)) return fail(name, *why);
    }
    const rapidjson::Value* visible = member("visible");
    if (!visible || !visible->IsBool()) return fail("visible", "missing or not true or false");
    b.visible = visible->GetBool();
    const rapidjson::Value* color = member("color");
    if (!color || !color->IsString()) return fail("color", "missing or not a text");
    bool ok = false;
    b.color = Color::FromText({color->GetString(), color->GetStringLength()}, &ok);
    if (!ok) {
        b.color = Color();
        warning = where + ".color: not a colour; the bookmark keeps the default colour";
    }
    return b;
}

}  // namespace

bool LoadBookmarks(AnalogBookmarkList& bookmarks, const std::filesystem::path& path,
                   std::vector<std::string>* problems) {
    const std::optional<std::string> text = ReadWholeFile(path);
    if (!text) return false;
    rapidjson::Document document;
    try {
        CheckJson(*text);
        document.Parse(text->c_str(), text->size());
        if (document.HasParseError()) throw std::runtime_error("JSON syntax error");
    } catch (const std::exception& e) {
        LogPathAndReason("Deserialization error: {}", path, e.what());
        return false;
    }
    const auto warn = [&](const std::string& problem) {
        spdlog::warn("Metadata {}: {}", path.string(), problem);
        if (problems) problems->push_back(problem);
    };
    AnalogBookmarkList loaded;
    const auto root = document.FindMember("value0");
    const auto member = root != document.MemberEnd() && root->value.IsObject()
                            ? root->value.FindMember("bookmarks")
                            : document.MemberEnd();
    if (root == document.MemberEnd() || !root->value.IsObject() || member == root->value.MemberEnd()) {
        bookmarks = std::move(loaded);  // a file of a version without bookmarks
        return true;
    }
    if (!member->value.IsArray()) {
        warn("bookmarks: not an array; no bookmark is loaded");
        bookmarks = std::move(loaded);
        return true;
    }
    std::vector<std::int32_t> usedIds;
    for (rapidjson::SizeType i = 0; i < member->value.Size(); ++i) {
        const std::string where = fmt::format("bookmarks[{}]", i);
        if (loaded.size() == kMaxBookmarks) {
            warn(fmt::format("{}: more than {} bookmarks; the rest is not loaded", where, kMaxBookmarks));
            break;
        }
        std::string problem;
        std::string warning;
        std::optional<AnalogBookmark> bookmark =
            ReadBookmark(member->value[i], where, usedIds, problem, warning);
        if (!warning.empty()) warn(warning);
        if (!bookmark) {
            warn(problem + "; this bookmark is not loaded");
            continue;
        }
        usedIds.push_back(bookmark->id);
        loaded.push_back(std::move(*bookmark));
    }
    bookmarks = std::move(loaded);
    return true;
}

std::optional<std::string> ToText(const AnalogSettings& settings) {
    try {
        return ToJson(settings);
    } catch (const std::exception& e) {
        spdlog::error("Serialization error: {}", "(memory)");
        spdlog::error("{}", e.what());
        return std::nullopt;
    }
}

}  // namespace qvx::Archive
