#pragma once
// An exclusive lock on a folder for as long as the object lives: flock on the folder
// itself, so no lock file is left behind, and the kernel releases it when the
// process ends, however it ends (crash, kill, power cut). A folder that nobody
// holds therefore belongs to no running program.

#include <filesystem>

namespace qvx {

class FolderLock {
public:
    FolderLock() = default;
    ~FolderLock();
    FolderLock(FolderLock&& other) noexcept;
    FolderLock& operator=(FolderLock&& other) noexcept;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Locks `folder` without waiting. False when the folder cannot be opened or another
    // lock holds it: one of another process, or another FolderLock of this one.
    bool TryLock(const std::filesystem::path& folder);
    bool IsHeld() const { return m_fd >= 0; }
    void Unlock();

    // Creates `folder` already locked: made under a hidden name, locked, then renamed
    // into place, so that no other program ever sees it unlocked. When `folder`
    // exists already it is locked as it is. False when neither works.
    bool CreateLocked(const std::filesystem::path& folder);

private:
    int m_fd = -1;
};

// The folders this process records into, locked until it ends or lets one go.
// GUI thread (or the command line's main thread).
namespace InstanceFolders {

// Creates `folder` when missing and keeps it locked; true when it is held.
bool Hold(const std::filesystem::path& folder);
// Lets `folder` go: another program may then find it as an orphaned recording.
void Release(const std::filesystem::path& folder);
bool IsHeld(const std::filesystem::path& folder);

}  // namespace InstanceFolders

}  // namespace qvx
