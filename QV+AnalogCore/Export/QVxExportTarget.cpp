#include "QV+AnalogCore/Export/QVxExportTarget.h"

#include <spdlog/spdlog.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace fs = std::filesystem;

namespace {

// ".NAME.PID-N.part" beside `target`: hidden, and unique within this process.
fs::path TemporaryPathFor(const fs::path& target) {
    static std::atomic<unsigned> s_counter{0};
    const std::string name = "." + target.filename().string() + "." + std::to_string(::getpid()) + "-" +
                             std::to_string(s_counter++) + ".part";
    return target.parent_path() / name;
}

}  // namespace

QVxExportTarget::QVxExportTarget(const fs::path& target) : m_target(target) {
    std::error_code ec;
    // A link is replaced by way of the file it names.
    if (fs::is_symlink(m_target, ec)) {
        const fs::path resolved = fs::weakly_canonical(m_target, ec);
        if (!ec) m_target = resolved;
    }
    const fs::file_status status = fs::status(m_target, ec);
    m_direct = fs::exists(status) && !fs::is_regular_file(status);
    m_writePath = m_direct ? m_target : TemporaryPathFor(m_target);
}

QVxExportTarget::~QVxExportTarget() {
    if (!m_done) Discard();
}

int QVxExportTarget::OpenForWriting() const {
    const int flags = O_WRONLY | O_CLOEXEC | (m_direct ? O_TRUNC : O_CREAT | O_EXCL);
    return ::open(m_writePath.c_str(), flags, 0644);
}

bool QVxExportTarget::Commit() {
    if (m_done) return false;
    m_done = true;
    if (m_direct) return true;
    if (std::rename(m_writePath.c_str(), m_target.c_str()) == 0) return true;
    spdlog::error("Cannot replace {} with the finished export: {}", m_target.string(), std::strerror(errno));
    ::unlink(m_writePath.c_str());
    return false;
}

void QVxExportTarget::Discard() {
    m_done = true;
    if (!m_direct) ::unlink(m_writePath.c_str());
}
