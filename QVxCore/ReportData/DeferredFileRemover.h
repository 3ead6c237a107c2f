#pragma once
// Removes files without making the calling thread wait for the file system to release them.
// Unlinking a large file that was written a minute ago makes the kernel drop its cached
// pages and free its blocks before unlink returns: 100 ms and more for a 500 MB report file,
// which on the GUI thread is a visible stall every few seconds while rotation runs. Here the
// caller unlinks the name while a descriptor of the file is still open, which returns at
// once, and a thread of its own closes that descriptor, which is where the release happens.
// The name is gone when Remove returns, exactly as with std::filesystem::remove.

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

namespace qvx {

class DeferredFileRemover {
public:
    DeferredFileRemover() = default;
    // Releases every file still queued, then ends the thread.
    ~DeferredFileRemover();
    DeferredFileRemover(const DeferredFileRemover&) = delete;
    DeferredFileRemover& operator=(const DeferredFileRemover&) = delete;

    // Any thread. Removes `path` as std::filesystem::remove does (false when nothing was
    // there; throws std::filesystem::filesystem_error when the removal fails) and leaves
    // the release of its storage to the thread. A file that cannot be opened first is
    // removed the plain way.
    bool Remove(const std::filesystem::path& path);

    // Any thread. Returns once every file removed so far has been released.
    void WaitUntilReleased();

private:
    void Release(int descriptor);
    void Run();

    std::mutex m_mutex;
    std::condition_variable m_queued;    // a descriptor was queued, or the end was asked for
    std::condition_variable m_released;  // the queue ran empty
    std::vector<int> m_descriptors;      // to close, oldest first
    bool m_closing = false;              // the thread holds descriptors it is closing
    bool m_exit = false;
    std::thread m_thread;  // started with the first deferred release
};

}  // namespace qvx
