#include "QVxCore/ReportData/ReportOverviewStore.h"

#include "QVxCore/ReportData/DeferredFileRemover.h"
#include "QVxCore/ReportData/ReportOverviewBuilder.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace qvx {

namespace {

std::mutex& CacheRootMutex() {
    static std::mutex m;
    return m;
}

fs::path& CacheRootStorage() {
    static fs::path root;
    return root;
}

fs::path DefaultCacheRoot() {
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg)
        return fs::path(xdg) / "qmrs" / "QV+Analog";
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : "/tmp") / ".cache" / "qmrs" / "QV+Analog";
}

// The report folder as an absolute path without a trailing separator.
fs::path NormalFolder(const fs::path& folder) {
    std::error_code ec;
    fs::path p = fs::absolute(folder, ec).lexically_normal();
    if (ec) p = folder.lexically_normal();
    if (p.filename().empty() && p.has_parent_path() && p != p.root_path()) p = p.parent_path();
    return p;
}

// Free bytes a copied overview must leave on the volume.
constexpr std::uintmax_t kCopyReserveBytes = std::uintmax_t{64} << 20;

std::string OverviewName(const fs::path& dataFile) {
    return dataFile.stem().string() + ".OVW";
}

}  // namespace

fs::path ReportOverviewStore::SiblingFolder(const fs::path& reportFolder) {
    const fs::path folder = NormalFolder(reportFolder);
    return folder.parent_path() / (folder.filename().string() + ".overview");
}

fs::path ReportOverviewStore::SiblingPath(const fs::path& dataFile) {
    return SiblingFolder(dataFile.parent_path()) / OverviewName(dataFile);
}

fs::path ReportOverviewStore::CachePath(const fs::path& dataFile) {
    // 64-bit FNV-1a of the report folder's absolute path names the report.
    const std::string folder = NormalFolder(dataFile.parent_path()).string();
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (unsigned char c : folder) {
        hash ^= c;
        hash *= 0x100000001b3ULL;
    }
    return GetCacheRoot() / "overview" / fmt::format("{:016x}", hash) / OverviewName(dataFile);
}

void ReportOverviewStore::SetCacheRoot(const fs::path& root) {
    std::lock_guard lock(CacheRootMutex());
    CacheRootStorage() = root;
}

fs::path ReportOverviewStore::GetCacheRoot() {
    std::lock_guard lock(CacheRootMutex());
    return CacheRootStorage().empty() ? DefaultCacheRoot() : CacheRootStorage();
}

ReportOverviewFile::Opened ReportOverviewStore::Open(const fs::path& dataFile) {
    ReportOverviewFile::Opened sibling = ReportOverviewFile::Open(SiblingPath(dataFile), dataFile);
    if (sibling.file) return sibling;
    ReportOverviewFile::Opened cached = ReportOverviewFile::Open(CachePath(dataFile), dataFile);
    if (cached.file) return cached;
    return sibling.status == ReportOverviewFile::Status::kMissing ? std::move(cached) : std::move(sibling);
}

bool ReportOverviewStore::Write(const fs::path& dataFile, const std::vector<std::uint8_t>& bytes) {
    std::string siblingFailure;
    if (ReportOverviewBuilder::WriteFile(SiblingPath(dataFile), bytes, siblingFailure)) return true;
    std::string cacheFailure;
    if (ReportOverviewBuilder::WriteFile(CachePath(dataFile), bytes, cacheFailure)) return true;
    spdlog::warn("Report overview not stored. {}: {}; {}: {}", SiblingPath(dataFile).string(), siblingFailure,
                 CachePath(dataFile).string(), cacheFailure);
    return false;
}

bool ReportOverviewStore::Build(const fs::path& dataFile,
                                const std::function<bool(std::uint64_t)>& progress) {
    const auto bytes = ReportOverviewBuilder::BuildFromFile(dataFile, progress);
    return bytes && Write(dataFile, *bytes);
}

void ReportOverviewStore::Remove(const fs::path& dataFile, DeferredFileRemover* remover) {
    for (const fs::path& overview : {SiblingPath(dataFile), CachePath(dataFile)}) {
        if (!remover) {
            std::error_code ec;
            fs::remove(overview, ec);
            continue;
        }
        try {
            remover->Remove(overview);
        } catch (const fs::filesystem_error&) {
            // ignored, as above: a leftover overview matches no data file
        }
    }
}

void ReportOverviewStore::CopyFor(const std::vector<fs::path>& dataFiles, const fs::path& toReportFolder) {
    const fs::path target = SiblingFolder(toReportFolder);
    for (const fs::path& dataFile : dataFiles) {
        std::error_code ec;
        fs::path source = SiblingPath(dataFile);
        if (!fs::is_regular_file(source, ec)) source = CachePath(dataFile);
        if (!fs::is_regular_file(source, ec)) continue;
        fs::create_directories(target, ec);
        // Never the last free bytes of the volume: the copy is only a shortcut.
        const std::uintmax_t size = fs::file_size(source, ec);
        const fs::space_info space = fs::space(target, ec);
        if (ec || space.available < size + kCopyReserveBytes) {
            spdlog::info("Report overview not copied: {} (no room)", source.string());
            continue;
        }
        const fs::path copy = target / OverviewName(dataFile);
        fs::copy_file(source, copy, fs::copy_options::overwrite_existing, ec);
        if (ec) {
            spdlog::info("Report overview not copied: {} ({})", source.string(), ec.message());
            fs::remove(copy, ec);
        }
    }
}

}  // namespace qvx
