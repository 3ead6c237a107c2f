#include "QVxCore/AnalogEnvData.h"

#include "QVxCore/Archive.h"
#include "QVxCore/Recovery/FolderLock.h"
#include "QVxCore/Utils.h"

#include <spdlog/spdlog.h>
#include <QUuid>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <cstring>

namespace fs = std::filesystem;

namespace qvx {

namespace {

constexpr const char* kCacheFolderKey = "m_cacheFolderPath";

std::string ToUtf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

fs::path FromUtf8(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

bool CreateFolder(const fs::path& folder) {
    std::error_code ec;
    if (fs::is_directory(folder, ec)) return true;
    fs::create_directory(folder, ec);
    if (ec && !fs::is_directory(folder)) {
        spdlog::error("Failed to create folder {}: {}", folder.string(), ec.message());
        return false;
    }
    return true;
}

}  // namespace

fs::path AnalogEnvData::GetBaseFolder() {
    const char* temp = std::getenv(kTempDirVariable);
    if (temp && *temp && std::strlen(temp) <= kMaxTempDirLength) return fs::path(temp);
    return GetUserDataHome();
}

std::optional<fs::path> AnalogEnvData::BuildAppDataPath(const fs::path& name, const PathOptions& options) {
    // One separator per join, also when the base already ends with one.
    std::vector<fs::path> folders;
    folders.push_back(GetBaseFolder() / kFamilyFolderName);
    folders.push_back(folders.back() / kApplicationName);
    const std::string& instanceId = options.instanceId ? *options.instanceId : GetInstanceId();
    if (options.instanceFolder && !instanceId.empty()) folders.push_back(folders.back() / instanceId);
    fs::path result = name.empty() ? folders.back() : folders.back() / name;
    if (options.create) {
        if (options.nameIsFolder && !name.empty()) folders.push_back(result);
        for (const fs::path& folder : folders) {
            if (!CreateFolder(folder)) return std::nullopt;
        }
    }
    return result;
}

std::optional<fs::path> AnalogEnvData::GetPrefsFilePath(bool create) {
    PathOptions options;
    options.create = create;
    return BuildAppDataPath(kPrefsFileName, options);
}

std::optional<fs::path> AnalogEnvData::GetDefaultCacheFolder(bool create) {
    PathOptions options;
    options.create = create;
    return BuildAppDataPath({}, options);
}

std::string AnalogEnvData::MakeInstanceId() {
    const QUuid uuid = QUuid::createUuid();
    if (uuid.isNull()) return {};
    // "%08x%04x%04x%02x..." : 32 lower-case hexadecimal digits without separators.
    return uuid.toString(QUuid::Id128).toStdString();
}

const std::string& AnalogEnvData::GetInstanceId() {
    static const std::string id = MakeInstanceId();
    return id;
}

fs::path AnalogEnvData::GetFirmwarePath() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return (ec ? fs::current_path(ec) : exe.parent_path()) / "dload" / "Tessel.bin";
}

bool AnalogEnvData::LoadPrefs() {
    const auto file = GetPrefsFilePath(false);
    if (!file) {
        spdlog::error("Failed to load preferences file.");
        return false;
    }
    return LoadPrefs(*file);
}

bool AnalogEnvData::LoadPrefs(const fs::path& file) {
    std::error_code ec;
    std::optional<std::string> text;
    const fs::file_status status = fs::status(file, ec);
    if (status.type() == fs::file_type::not_found) {
        // The first start: no file yet, which is no error. The defaults are used.
        spdlog::info("No preferences file {} yet; the defaults are used.", file.string());
        return false;
    }
    if (!ec) text = Archive::ReadWholeFile(file);
    if (text) {
        // Any JSON object is accepted; only a present member must be a string.
        const nlohmann::json document = nlohmann::json::parse(*text, nullptr, false);
        if (!document.is_discarded() && document.is_object()) {
            const auto member = document.find(kCacheFolderKey);
            if (member == document.end()) return true;
            if (member->is_string()) {
                m_cacheFolderPath = FromUtf8(member->get<std::string>());
                return true;
            }
        }
    }
    spdlog::error("Failed to load preferences file.");
    return false;
}

bool AnalogEnvData::SavePrefs() const {
    const auto file = GetPrefsFilePath(true);
    if (!file) {
        spdlog::error("Failed to save preferences file.");
        return false;
    }
    return SavePrefs(*file);
}

bool AnalogEnvData::SavePrefs(const fs::path& file) const {
    std::string text;
    try {
        nlohmann::json document = nlohmann::json::object();
        document[kCacheFolderKey] = ToUtf8(m_cacheFolderPath);
        text = document.dump(4);  // throws on a path that is not valid UTF-8
    } catch (const std::exception& e) {
        spdlog::error("Failed to serialize preferences.");
        spdlog::error("{}", e.what());
        return false;
    }
    if (!Archive::WriteFileAtomically(file, text)) {
        spdlog::error("Failed to save preferences file.");
        return false;
    }
    return true;
}

AnalogEnvData::CacheFolderRepair AnalogEnvData::MakeCacheFolderRepair(
    std::function<std::optional<fs::path>(const fs::path& oldFolder)> askUser) {
    return [askUser = std::move(askUser)](AnalogEnvData& env) {
        if (env.GetCacheFolderPath().empty()) {
            const auto folder = GetDefaultCacheFolder(false);
            if (!folder) return false;
            env.SetCacheFolderPath(*folder);
            return true;
        }
        if (!askUser) return false;
        auto chosen = askUser(env.GetCacheFolderPath());
        if (!chosen) return false;
        env.SetCacheFolderPath(std::move(*chosen));
        return true;
    };
}

bool AnalogEnvData::LoadPrefsAndRepair(const CacheFolderRepair& repair) {
    m_cacheFolderPath.clear();
    LoadPrefs();
    std::error_code ec;
    // An empty value never exists.
    if (!m_cacheFolderPath.empty() && fs::is_directory(m_cacheFolderPath, ec)) return true;
    return repair && repair(*this);
}

std::optional<fs::path> AnalogEnvData::GetSessionFolder(const std::string& instanceId) const {
    QVX_CHECK_RETURN(!m_cacheFolderPath.empty(), std::nullopt);
    const fs::path folder = instanceId.empty() ? m_cacheFolderPath : m_cacheFolderPath / instanceId;
    std::error_code ec;
    // This run's folder is locked while the run lasts: another program then never takes
    // it for an orphaned recording.
    if (instanceId.empty() || instanceId != GetInstanceId() || !InstanceFolders::Hold(folder))
        fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec)) {
        spdlog::error("Failed to create folder {}: {}", folder.string(), ec.message());
        return std::nullopt;
    }
    return folder;
}

}  // namespace qvx
