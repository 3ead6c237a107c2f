#pragma once
// The family protocol between the applications of the QV+ family running side by
// side for one user: each instance listens on a local socket named by its process
// id in a per-user family folder (mode 0700), peers are found by listing that
// folder, and every message is one JSON object per line:
//   {"message": "WM_QVX_SYNC_TO_TIME", "absNs": N}             move the time cursor
//   {"message": "WM_QVX_SYNC_TRACE", "wParam": 0|1}            start (0) / stop (1) a trace
//   {"message": "WM_QVX_CHECK_LOADED_REPORT", "path": QUERY}   answered {"result": 1|0}
// An absolute time is nanoseconds since the epoch (session start + relative time).
//
// Everything runs on the thread that owns the object (the GUI thread of the
// application, the main thread of the command line), inside its Qt event loop.
// Nothing a peer sends can do more than get itself logged and ignored.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QVxAppIntegration {
public:
    // Message names, kept from the window messages they replace.
    static constexpr const char* kSyncToTimeMessage = "WM_QVX_SYNC_TO_TIME";
    static constexpr const char* kSyncTraceMessage = "WM_QVX_SYNC_TRACE";
    static constexpr const char* kCheckLoadedReportMessage = "WM_QVX_CHECK_LOADED_REPORT";
    // The trace request of kSyncTraceMessage: its "wParam" number on the wire. A receiver
    // gets the number as sent and ignores any other.
    enum SyncTraceRequest : int { kSyncTraceStart = 0, kSyncTraceStop = 1 };

    // A peer's executable path must contain this (QVPLUS_FAMILY_EXE_MATCH replaces it).
    static constexpr const char* kFamilyExeMatch = "QV+";
    // Longest line a peer may send (bytes); a longer one drops the connection.
    static constexpr std::size_t kMaxLineBytes = 64 * 1024;
    // Connections from peers held open at once; a new one beyond this closes the oldest
    // (a well-behaved peer sends its line and closes within milliseconds).
    static constexpr std::size_t kMaxConnections = 64;
    // A connection that brings no bytes for this long is closed (ms).
    static constexpr int kIdleTimeoutMs = 5000;
    // Bounded waits of the sending side (ms).
    static constexpr int kConnectTimeoutMs = 500;
    static constexpr int kWriteTimeoutMs = 500;
    static constexpr int kDefaultReplyTimeoutMs = 5000;

    struct Peer {
        pid_t pid = 0;
        std::string exePath;               // target of /proc/<pid>/exe
        std::filesystem::path socketPath;  // the peer's socket in the family folder
    };

    using SyncTimeHandler = std::function<void(std::int64_t absNs)>;
    using SyncTraceHandler = std::function<void(int wParam)>;
    // Answers a report check for the query file at the path; true when it succeeded.
    using ReportCheckHandler = std::function<bool(const std::string& queryPath)>;

    // `instanceTag` is empty in the application: the socket is named "<pid>". Tests
    // that run several instances in one process give each a tag ("<pid>-<tag>").
    explicit QVxAppIntegration(std::string instanceTag = {});
    ~QVxAppIntegration();
    QVxAppIntegration(const QVxAppIntegration&) = delete;
    QVxAppIntegration& operator=(const QVxAppIntegration&) = delete;

    // Prepares the family folder and listens on this instance's socket. Returns false
    // (logged) when the folder is refused or the socket cannot be opened; the instance
    // then has no family but can still send. A QCoreApplication must exist.
    bool Start();
    bool IsListening() const;
    std::filesystem::path SocketPath() const;  // empty until Start() succeeded

    // Handlers, called on the owning thread from the event loop. A sync time is
    // delivered once per burst, with the newest time of the burst.
    void SetSyncTimeHandler(SyncTimeHandler handler);
    void SetSyncTraceHandler(SyncTraceHandler handler);
    void SetReportCheckHandler(ReportCheckHandler handler);

    // Other family instances (this instance's own socket skipped), by pid. Sockets
    // left by dead processes are removed on the way.
    std::vector<Peer> ListPeers() const;
    // Listed peers whose executable path contains `exeContains` ("QV+Analog").
    int CountOtherInstances(const std::string& exeContains) const;

    // Send to every peer; return how many were reached. Unreachable peers are logged.
    std::size_t SendSyncTime(std::int64_t absNs) const;
    std::size_t SendSyncTrace(SyncTraceRequest request) const;
    bool SendSyncTimeTo(const Peer& peer, std::int64_t absNs) const;
    bool SendSyncTraceTo(const Peer& peer, SyncTraceRequest request) const;

    // Asks `peer` to check the query file at `queryPath` (absolute) and waits at most
    // `timeoutMs` for its answer, running a local event loop meanwhile (so a peer in
    // this very process can answer). nullopt when the peer could not be asked or did
    // not answer in time.
    std::optional<bool> CheckLoadedReport(const Peer& peer, const std::string& queryPath,
                                          int timeoutMs = kDefaultReplyTimeoutMs) const;

    // The folder in use: QVPLUS_FAMILY_DIR, else $XDG_RUNTIME_DIR/qvplus-family, else
    // /tmp/qvplus-family-<uid>.
    static std::filesystem::path FamilyFolder();
    // Creates `folder` with mode 0700 when missing; refuses (false, `error` says why)
    // a folder that is not a real directory owned by this user or that the group or
    // others can access.
    static bool PrepareFamilyFolder(const std::filesystem::path& folder, std::string& error);
    // The text a peer's executable path must contain.
    static std::string FamilyExeMatch();

private:
    // Peers in the family folder, `ownSocket` left out.
    static std::vector<Peer> ListPeersExcept(const std::filesystem::path& ownSocket);

    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
