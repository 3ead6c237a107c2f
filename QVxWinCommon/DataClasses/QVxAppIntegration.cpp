// Listening for, reading and answering family messages, and sending them.

#include "QVxWinCommon/DataClasses/QVxAppIntegration.h"

#include "QVxCore/Utils.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

#include <spdlog/spdlog.h>
#include <nlohmann/json.hpp>

#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <list>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Bounds of the collecting step before a sync time is delivered: event loop passes
// waited for and reads taken per connection in each.
constexpr int kMaxDeliveryRounds = 64;
constexpr int kMaxDrainReads = 64;
constexpr qint64 kReadChunkBytes = 16 * 1024;

QByteArray JsonLine(const nlohmann::json& message) {
    return QByteArray::fromStdString(message.dump() + "\n");
}

}  // namespace

struct QVxAppIntegration::Impl {
    // Per accepted connection: bytes of a line not complete yet.
    struct Connection {
        QByteArray buffer;
        bool reading = false;  // ReadLines is running for this connection
        bool ended = false;    // the peer has closed
        bool dropped = false;  // closed by us (oversize line, idle, too many connections)
    };
    struct OpenConnection {
        QPointer<QLocalSocket> socket;
        std::shared_ptr<Connection> state;
    };

    std::string tag;
    fs::path socketPath;
    QLocalServer* server = nullptr;         // owns the accepted connections
    std::list<OpenConnection> connections;  // oldest first

    SyncTimeHandler onSyncTime;
    SyncTraceHandler onSyncTrace;
    ReportCheckHandler onReportCheck;

    std::optional<std::int64_t> pendingTime;  // newest time received, not yet delivered
    bool deliveryScheduled = false;
    int deliveryRounds = 0;
    std::uint64_t activity = 0;  // connections accepted and reads that brought bytes
    std::uint64_t activitySeen = 0;
    std::uint64_t connectionsClosedForRoom = 0;

    ~Impl() { StopListening(); }

    void StopListening() {
        if (!server) return;
        for (const OpenConnection& open : connections)
            if (open.socket) QObject::disconnect(open.socket, nullptr, nullptr, nullptr);
        connections.clear();
        QObject::disconnect(server, nullptr, nullptr, nullptr);
        server->close();  // removes the socket file
        delete server;
        server = nullptr;
    }

    void OnNewConnection() {
        while (server && server->hasPendingConnections()) {
            QLocalSocket* socket = server->nextPendingConnection();
            if (!socket) break;
            connections.remove_if([](const OpenConnection& open) { return open.socket.isNull(); });
            while (connections.size() >= kMaxConnections) DropOldest();
            auto connection = std::make_shared<Connection>();
            connections.push_back({socket, connection});
            ++activity;
            // Closes a connection that stays silent; restarted by every read that brings bytes.
            auto* idle = new QTimer(socket);
            idle->setSingleShot(true);
            QObject::connect(idle, &QTimer::timeout, socket, [socket, connection] {
                if (connection->reading || connection->dropped) return;
                spdlog::warn("QVxAppIntegration: a family connection silent for {} ms closed",
                             kIdleTimeoutMs);
                Drop(socket, *connection);
            });
            idle->start(kIdleTimeoutMs);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket, connection, idle] {
                idle->start(kIdleTimeoutMs);
                ReadLines(socket, connection, false);
            });
            QObject::connect(socket, &QLocalSocket::disconnected, socket, [this, socket, connection] {
                ReadLines(socket, connection, true);
                socket->deleteLater();
            });
            QObject::connect(
                socket, &QLocalSocket::errorOccurred, socket, [](QLocalSocket::LocalSocketError e) {
                    if (e != QLocalSocket::SocketTimeoutError && e != QLocalSocket::PeerClosedError)
                        spdlog::warn("QVxAppIntegration: family connection error {}", static_cast<int>(e));
                });
        }
    }

    // Takes what arrived on `socket` and handles each complete line. At the end of the
    // connection a last line without its newline is taken too. Signals raised while a
    // line is handled (the peer closing while it is answered) leave the rest to the
    // call already running.
    void ReadLines(QLocalSocket* socket, std::shared_ptr<Connection> connection, bool atEnd) {
        Connection& c = *connection;
        if (c.dropped) return;
        if (atEnd) c.ended = true;
        if (c.reading) return;
        c.reading = true;
        const QPointer<QLocalSocket> guard(socket);
        for (;;) {
            const QByteArray chunk =
                guard && !c.dropped && socket->isReadable() && socket->bytesAvailable() > 0
                    ? socket->read(kReadChunkBytes)
                    : QByteArray();
            if (!chunk.isEmpty()) ++activity;
            c.buffer.append(chunk);
            qsizetype newline;
            while (!c.dropped && (newline = c.buffer.indexOf('\n')) >= 0) {
                const QByteArray line = c.buffer.left(newline);
                c.buffer.remove(0, newline + 1);
                if (static_cast<std::size_t>(line.size()) > kMaxLineBytes || !guard) {
                    if (guard) DropOversize(socket, c);
                    break;
                }
                HandleLine(socket, line);
            }
            if (!c.dropped && guard && static_cast<std::size_t>(c.buffer.size()) > kMaxLineBytes)
                DropOversize(socket, c);
            if (c.dropped || chunk.isEmpty()) break;
        }
        if (c.ended && !c.dropped && !c.buffer.isEmpty() && guard) {
            const QByteArray line = std::exchange(c.buffer, QByteArray());
            if (static_cast<std::size_t>(line.size()) <= kMaxLineBytes) HandleLine(socket, line);
        }
        c.reading = false;
    }

    void DropOversize(QLocalSocket* socket, Connection& c) {
        spdlog::warn("QVxAppIntegration: a family line longer than {} bytes; connection dropped",
                     kMaxLineBytes);
        Drop(socket, c);
    }

    // Closes a connection without handling anything more from it.
    static void Drop(QLocalSocket* socket, Connection& c) {
        c.dropped = true;
        c.buffer.clear();
        socket->abort();
    }

    void DropOldest() {
        const OpenConnection oldest = connections.front();
        connections.pop_front();
        if (!oldest.socket || oldest.state->reading) return;
        // What the peer has sent already is handled first: a peer that wrote its line and
        // closed is still served when a flood of connections pushes it out.
        oldest.socket->waitForReadyRead(0);
        ReadLines(oldest.socket, oldest.state, false);
        if (!oldest.socket || oldest.state->dropped) return;
        // A flood of connections must not flood the log too: the first and every 256th.
        if (connectionsClosedForRoom++ % 256 == 0)
            spdlog::warn("QVxAppIntegration: more than {} family connections; the oldest closed ({} so far)",
                         kMaxConnections, connectionsClosedForRoom);
        Drop(oldest.socket, *oldest.state);
    }

    void HandleLine(QLocalSocket* socket, QByteArray line) {
        if (line.endsWith('\r')) line.chop(1);
        if (line.trimmed().isEmpty()) return;
        const nlohmann::json message = nlohmann::json::parse(line.begin(), line.end(), nullptr, false);
        if (message.is_discarded() || !message.is_object()) {
            spdlog::warn("QVxAppIntegration: malformed family message ignored ({} bytes)", line.size());
            return;
        }
        const auto name = message.find("message");
        if (name == message.end() || !name->is_string()) {
            spdlog::warn("QVxAppIntegration: family message without a message name ignored");
            return;
        }
        const std::string& text = name->get_ref<const std::string&>();
        if (text == kSyncToTimeMessage)
            HandleSyncTime(message);
        else if (text == kSyncTraceMessage)
            HandleSyncTrace(message);
        else if (text == kCheckLoadedReportMessage)
            HandleReportCheck(socket, message);
        else
            spdlog::warn("QVxAppIntegration: unknown family message \"{}\" ignored", text.substr(0, 64));
    }

    void HandleSyncTime(const nlohmann::json& message) {
        const auto value = message.find("absNs");
        if (value == message.end() || !value->is_number_integer() ||
            (value->is_number_unsigned() &&
             value->get<std::uint64_t>() >
                 static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))) {
            spdlog::warn("QVxAppIntegration: {} without a whole absNs ignored", kSyncToTimeMessage);
            return;
        }
        pendingTime = value->get<std::int64_t>();
        ScheduleDelivery();
    }

    void HandleSyncTrace(const nlohmann::json& message) {
        const auto value = message.find("wParam");
        if (value == message.end() || !value->is_number_integer() ||
            value->get<std::int64_t>() < std::numeric_limits<int>::min() ||
            (value->is_number_unsigned() ? value->get<std::uint64_t>() > std::numeric_limits<int>::max()
                                         : value->get<std::int64_t>() > std::numeric_limits<int>::max())) {
            spdlog::warn("QVxAppIntegration: {} without a whole wParam ignored", kSyncTraceMessage);
            return;
        }
        spdlog::info("QV+Link Trace");
        const int wParam = value->get<int>();
        Guarded("trace request", [&] {
            if (onSyncTrace) onSyncTrace(wParam);
        });
    }

    // Runs an application handler; an exception must not unwind through Qt's event loop.
    template <typename Fn>
    static void Guarded(const char* what, Fn&& fn) {
        try {
            fn();
        } catch (const std::exception& e) {
            spdlog::error("QVxAppIntegration: handling a {} failed: {}", what, e.what());
        }
    }

    // Answers on the same connection; a request that cannot be checked is answered 0
    // so the asking side does not wait for nothing.
    void HandleReportCheck(QLocalSocket* socket, const nlohmann::json& message) {
        spdlog::info("QV+HubCheckReport");
        bool result = false;
        const auto path = message.find("path");
        if (path == message.end() || !path->is_string()) {
            spdlog::warn("QVxAppIntegration: {} without a path string answered 0", kCheckLoadedReportMessage);
        } else if (onReportCheck) {
            Guarded("report check", [&] { result = onReportCheck(path->get<std::string>()); });
        }
        socket->write(JsonLine({{"result", result ? 1 : 0}}));
        socket->flush();
    }

    // The newest time of a burst wins. Delivery waits for a zero-timeout call; when
    // connections were accepted or lines read meanwhile (a burst spread over several
    // connections arrives over several event loop passes), it waits one pass more, at
    // most kMaxDeliveryRounds passes, so a flooding peer cannot hold the time back.
    void ScheduleDelivery() {
        if (deliveryScheduled || !server) return;
        deliveryScheduled = true;
        deliveryRounds = 0;
        activitySeen = activity;
        QTimer::singleShot(0, server, [this] { DeliverSyncTime(); });
    }

    void DeliverSyncTime() {
        TakeInArrived();
        if (activity != activitySeen && ++deliveryRounds < kMaxDeliveryRounds && server) {
            activitySeen = activity;
            QTimer::singleShot(0, server, [this] { DeliverSyncTime(); });
            return;
        }
        deliveryScheduled = false;
        const std::optional<std::int64_t> time = std::exchange(pendingTime, std::nullopt);
        Guarded("sync time", [&] {
            if (time && onSyncTime) onSyncTime(*time);
        });
    }

    // Reads what already waits on the open connections (their sockets never block).
    void TakeInArrived() {
        std::vector<QPointer<QLocalSocket>> open;
        for (const OpenConnection& connection : connections) open.push_back(connection.socket);
        for (const QPointer<QLocalSocket>& socket : open) {
            for (int i = 0; i < kMaxDrainReads && socket && socket->state() == QLocalSocket::ConnectedState;
                 ++i)
                if (!socket->waitForReadyRead(0)) break;
        }
    }
};

QVxAppIntegration::QVxAppIntegration(std::string instanceTag) : m_impl(std::make_unique<Impl>()) {
    const bool plain = std::all_of(instanceTag.begin(), instanceTag.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    });
    QVX_CHECK(plain);
    if (plain) m_impl->tag = std::move(instanceTag);
}

QVxAppIntegration::~QVxAppIntegration() = default;

bool QVxAppIntegration::Start() {
    if (IsListening()) return true;
    QVX_CHECK_RETURN(QCoreApplication::instance() != nullptr, false);
    const fs::path folder = FamilyFolder();
    std::string error;
    if (!PrepareFamilyFolder(folder, error)) {
        spdlog::error("QVxAppIntegration: family folder refused, no family for this instance: {}", error);
        return false;
    }
    std::string name = std::to_string(::getpid());
    if (!m_impl->tag.empty()) name += "-" + m_impl->tag;
    const fs::path path = folder / name;
    if (path.string().size() >= sizeof(sockaddr_un::sun_path)) {
        spdlog::error("QVxAppIntegration: family socket path too long: {}", path.string());
        return false;
    }
    std::error_code ec;
    if (fs::exists(fs::symlink_status(path, ec))) {
        // Only an ended process with this pid (or an earlier run with this tag) can have left it.
        spdlog::info("QVxAppIntegration: replacing the stale family socket {}", path.string());
        QLocalServer::removeServer(QString::fromStdString(path.string()));
    }
    auto* server = new QLocalServer();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(QString::fromStdString(path.string()))) {
        spdlog::error("QVxAppIntegration: cannot listen on {}: {}", path.string(),
                      server->errorString().toStdString());
        delete server;
        return false;
    }
    m_impl->server = server;
    m_impl->socketPath = path;
    Impl* d = m_impl.get();
    QObject::connect(server, &QLocalServer::newConnection, server, [d] { d->OnNewConnection(); });
    spdlog::info("QVxAppIntegration: listening on {}", path.string());
    return true;
}

bool QVxAppIntegration::IsListening() const {
    return m_impl->server && m_impl->server->isListening();
}

fs::path QVxAppIntegration::SocketPath() const {
    return m_impl->socketPath;
}

void QVxAppIntegration::SetSyncTimeHandler(SyncTimeHandler handler) {
    m_impl->onSyncTime = std::move(handler);
}

void QVxAppIntegration::SetSyncTraceHandler(SyncTraceHandler handler) {
    m_impl->onSyncTrace = std::move(handler);
}

void QVxAppIntegration::SetReportCheckHandler(ReportCheckHandler handler) {
    m_impl->onReportCheck = std::move(handler);
}

std::vector<QVxAppIntegration::Peer> QVxAppIntegration::ListPeers() const {
    return ListPeersExcept(m_impl->socketPath);
}

int QVxAppIntegration::CountOtherInstances(const std::string& exeContains) const {
    int count = 0;
    for (const Peer& peer : ListPeers())
        if (peer.exePath.find(exeContains) != std::string::npos) ++count;
    return count;
}

namespace {

// Connects to `peer` and writes `line`, with bounded waits.
bool SendLine(const QVxAppIntegration::Peer& peer, const QByteArray& line) {
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(peer.socketPath.string()));
    if (!socket.waitForConnected(QVxAppIntegration::kConnectTimeoutMs)) {
        spdlog::warn("QVxAppIntegration: family peer {} not reachable: {}", peer.pid,
                     socket.errorString().toStdString());
        return false;
    }
    socket.write(line);
    while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(QVxAppIntegration::kWriteTimeoutMs)) {
    }
    if (socket.bytesToWrite() > 0) {
        spdlog::warn("QVxAppIntegration: family peer {} does not take the message", peer.pid);
        socket.abort();
        return false;
    }
    socket.disconnectFromServer();
    return true;
}

}  // namespace

std::size_t QVxAppIntegration::SendSyncTime(std::int64_t absNs) const {
    std::size_t reached = 0;
    for (const Peer& peer : ListPeers())
        if (SendSyncTimeTo(peer, absNs)) ++reached;
    return reached;
}

std::size_t QVxAppIntegration::SendSyncTrace(SyncTraceRequest request) const {
    std::size_t reached = 0;
    for (const Peer& peer : ListPeers())
        if (SendSyncTraceTo(peer, request)) ++reached;
    return reached;
}

bool QVxAppIntegration::SendSyncTimeTo(const Peer& peer, std::int64_t absNs) const {
    return SendLine(peer, JsonLine({{"message", kSyncToTimeMessage}, {"absNs", absNs}}));
}

bool QVxAppIntegration::SendSyncTraceTo(const Peer& peer, SyncTraceRequest request) const {
    return SendLine(peer, JsonLine({{"message", kSyncTraceMessage}, {"wParam", static_cast<int>(request)}}));
}

std::optional<bool> QVxAppIntegration::CheckLoadedReport(const Peer& peer, const std::string& queryPath,
                                                         int timeoutMs) const {
    QVX_CHECK_RETURN(QCoreApplication::instance() != nullptr, std::nullopt);
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(peer.socketPath.string()));
    if (!socket.waitForConnected(std::min(timeoutMs, kConnectTimeoutMs))) {
        spdlog::warn("QVxAppIntegration: family peer {} not reachable: {}", peer.pid,
                     socket.errorString().toStdString());
        return std::nullopt;
    }
    socket.write(JsonLine({{"message", kCheckLoadedReportMessage}, {"path", queryPath}}));
    socket.flush();

    // The answer is read from a local event loop so that the peer, when it lives in
    // this thread, gets to answer.
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QByteArray buffer;
    std::optional<bool> result;
    bool answered = false;
    auto takeAnswer = [&] {
        if (answered) return;
        buffer.append(socket.readAll());
        const qsizetype newline = buffer.indexOf('\n');
        if (newline < 0 && static_cast<std::size_t>(buffer.size()) <= kMaxLineBytes) return;
        answered = true;
        const nlohmann::json answer =
            nlohmann::json::parse(buffer.left(newline < 0 ? 0 : newline).toStdString(), nullptr, false);
        const auto value = answer.is_object() ? answer.find("result") : answer.end();
        if (answer.is_object() && value != answer.end() && value->is_number_integer() &&
            (value->get<std::int64_t>() == 0 || value->get<std::int64_t>() == 1))
            result = value->get<std::int64_t>() == 1;
        else
            spdlog::warn("QVxAppIntegration: family peer {} gave no valid report check answer", peer.pid);
        loop.quit();
    };
    QObject::connect(&socket, &QLocalSocket::readyRead, &loop, takeAnswer);
    QObject::connect(&socket, &QLocalSocket::disconnected, &loop, &QEventLoop::quit);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(std::max(timeoutMs, 0));
    takeAnswer();
    if (!answered && socket.state() == QLocalSocket::ConnectedState)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!answered) {
        takeAnswer();  // the answer may have come together with the end of the connection
        if (!answered)
            spdlog::warn("QVxAppIntegration: family peer {} did not answer the report check", peer.pid);
    }
    socket.abort();
    return result;
}
