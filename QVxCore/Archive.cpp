#include "QVxCore/Archive.h"

// cereal's JSON header must come first: it makes rapidjson's assertions throw.
#include <cereal/archives/json.hpp>

#include "QVxCore/ArchiveSerialization.h"

#include <rapidjson/error/en.h>
#include <spdlog/spdlog.h>

#include <sstream>

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

// Parses `text` and loads the root member value0 into `value`. Throws on any
// syntax, missing-member or type error.
template <class T>
void FromJson(const std::string& text, T&& value) {
    rapidjson::Document check;
    check.Parse<rapidjson::kParseFullPrecisionFlag | rapidjson::kParseNanAndInfFlag>(text.data(),
                                                                                     text.size());
    if (check.HasParseError()) {
        throw std::runtime_error(fmt::format("JSON syntax error at offset {}: {}", check.GetErrorOffset(),
                                             rapidjson::GetParseError_En(check.GetParseError())));
    }
    if (!check.IsObject()) throw std::runtime_error("JSON root is not an object");
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
