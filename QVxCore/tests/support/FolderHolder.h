#pragma once
// Test support: a child process that holds a folder locked as a running program holds
// its recording folder, until the test kills it (as a crash or `kill -9` would end it).
//
//   const pid_t child = qvx::test::HoldFolderInChild(folder);  // -1 when it could not lock
//   ::kill(child, SIGKILL); ::waitpid(child, nullptr, 0);

#include "QVxCore/Recovery/FolderLock.h"

#include <sys/types.h>
#include <unistd.h>

#include <filesystem>

namespace qvx::test {

inline pid_t HoldFolderInChild(const std::filesystem::path& folder) {
    int ready[2];
    if (::pipe(ready) != 0) return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        FolderLock lock;
        const char ok = lock.TryLock(folder) ? 1 : 0;
        (void)!::write(ready[1], &ok, 1);
        for (;;) ::pause();
    }
    char ok = 0;
    (void)!::read(ready[0], &ok, 1);
    ::close(ready[0]);
    ::close(ready[1]);
    return ok ? child : -1;
}

}  // namespace qvx::test
