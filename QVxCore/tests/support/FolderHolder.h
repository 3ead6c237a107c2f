#pragma once
// Test support: a child process that holds a folder locked as a running program holds
// its recording folder, until the test kills it (as a crash or `kill -9` would end it).
//
//   const pid_t child = qvx::test::HoldFolderInChild(folder);  // -1 when it could not lock
//   ::kill(child, SIGKILL); ::waitpid(child, nullptr, 0);
//
// LeaveKilledRunsRecording makes a whole orphaned recording that way.

#include "QVxCore/AnalogEnvData.h"
#include "QVxCore/AnalogSession.h"
#include "QVxCore/Archive.h"
#include "QVxCore/Recovery/FolderLock.h"
#include "QVxCore/tests/support/ReportBuilder.h"

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

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

// A recording of `records` records with `settings` in the default cache folder (below
// QVPLUS_TEMP_DIR), left by a process that held it and was killed. Empty when the folder
// could not be held.
inline std::filesystem::path LeaveKilledRunsRecording(const std::string& id, std::uint64_t records,
                                                      AnalogSettings settings = {}) {
    std::filesystem::create_directories(std::getenv("QVPLUS_TEMP_DIR"));
    const std::filesystem::path folder = *AnalogEnvData::GetDefaultCacheFolder(true) / id;
    std::filesystem::create_directories(folder);
    const pid_t child = HoldFolderInChild(folder);
    if (child < 0) return {};
    ReportBuilder(folder / "repo").StartTime(1'796'745'878, 5).AddFile(0, records);
    Archive::Save(settings, folder / AnalogSession::kRecordingSettingsFileName);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    return folder;
}

}  // namespace qvx::test
