#pragma once
// The file an export writes before it takes the name the user chose. A new name or an
// existing regular file is written under a temporary name in the same folder and renamed
// over the target only when the export is complete, so that a failed or refused export
// leaves the target as it was. Anything else that exists under the name (a device such as
// /dev/null, a pipe) is written directly. A symbolic link is followed: the file it points
// to is replaced, not the link. One thread at a time.

#include <filesystem>

class QVxExportTarget {
public:
    explicit QVxExportTarget(const std::filesystem::path& target);
    // Removes the temporary file unless it was committed.
    ~QVxExportTarget();
    QVxExportTarget(const QVxExportTarget&) = delete;
    QVxExportTarget& operator=(const QVxExportTarget&) = delete;

    // Where the export writes: the temporary file, or the target itself when direct.
    const std::filesystem::path& WritePath() const { return m_writePath; }
    // True when the target is written directly (it exists and is not a regular file).
    bool IsDirect() const { return m_direct; }
    const std::filesystem::path& Target() const { return m_target; }

    // Opens WritePath for writing: the temporary file is created new (O_EXCL, mode 0644
    // less the umask), a direct target is truncated. The descriptor, or -1 with errno set.
    int OpenForWriting() const;

    // Renames the temporary file over the target. False (logged) when that fails; the
    // temporary file is removed then.
    bool Commit();
    // Removes the temporary file; the target stays as it was.
    void Discard();

private:
    std::filesystem::path m_target;
    std::filesystem::path m_writePath;
    bool m_direct = false;
    bool m_done = false;
};
