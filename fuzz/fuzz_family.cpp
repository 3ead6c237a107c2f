// Fuzz target: the family protocol as a listening instance sees it. Each input is one
// whole connection of a peer, written in chunks of a chosen size so that lines arrive
// split; the instance reads the lines and handles the messages. The connection then
// ends with a report check the instance must answer (or the instance has dropped it):
// a connection that is neither answered nor dropped within 2 s is a finding.
//
// Input: chunk size (1 byte, x 8 bytes + 1), padding (1 byte, x 1 KiB of 'x' sent before
// the rest, to reach the line length limit), then the bytes of the connection.

#include "fuzz/fuzz_support.h"

#include "QVxWinCommon/DataClasses/QVxAppIntegration.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLocalSocket>
#include <QTimer>

namespace {

constexpr const char* kSentinelPath = "/fuzz/end-of-connection";

QVxAppIntegration& Instance() {
    static int argc = 1;
    static char name[] = "fuzz_family";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static QVxAppIntegration* instance = [] {
        const std::filesystem::path folder = qvx::fuzz::ScratchFolder() / "family";
        ::setenv("QVPLUS_FAMILY_DIR", folder.c_str(), 1);
        auto* integration = new QVxAppIntegration("fuzz");
        if (!integration->Start()) qvx::fuzz::Fail("the instance does not listen");
        integration->SetSyncTimeHandler([](std::int64_t) {});
        integration->SetSyncTraceHandler([](int) {});
        integration->SetReportCheckHandler([](const std::string& path) { return path == kSentinelPath; });
        return integration;
    }();
    return *instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qvx::fuzz::QuietLogging();
    QVxAppIntegration& instance = Instance();
    qvx::fuzz::InputReader in(data, size);
    const std::size_t chunk = std::size_t{in.TakeByte()} * 8 + 1;
    const std::size_t padding = std::size_t{in.TakeByte()} * 1024;
    const std::string_view rest = in.Rest();
    QByteArray connection(rest.data(), static_cast<qsizetype>(rest.size()));
    connection.append("\n{\"message\":\"WM_QVX_CHECK_LOADED_REPORT\",\"path\":\"");
    connection.append(kSentinelPath);
    connection.append("\"}\n");

    QLocalSocket peer;
    peer.connectToServer(QString::fromStdString(instance.SocketPath().string()));
    if (!peer.waitForConnected(1000)) qvx::fuzz::Fail("cannot connect");
    // The padding goes in large pieces, the rest in the chosen chunks.
    const auto send = [&peer](const QByteArray& bytes, std::size_t piece) {
        for (qsizetype at = 0; at < bytes.size(); at += static_cast<qsizetype>(piece)) {
            peer.write(bytes.mid(at, static_cast<qsizetype>(piece)));
            peer.flush();
            QCoreApplication::processEvents();
        }
    };
    send(QByteArray(static_cast<qsizetype>(padding), 'x'), 16 * 1024);
    send(connection, chunk);

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    bool timedOut = false;
    QByteArray answers;
    QObject::connect(&peer, &QLocalSocket::readyRead, &loop, [&] {
        answers.append(peer.readAll());
        if (answers.contains("{\"result\":1}")) loop.quit();
    });
    QObject::connect(&peer, &QLocalSocket::disconnected, &loop, &QEventLoop::quit);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        loop.quit();
    });
    timer.start(2000);
    answers.append(peer.readAll());
    if (!answers.contains("{\"result\":1}") && peer.state() == QLocalSocket::ConnectedState) loop.exec();
    if (timedOut) qvx::fuzz::Fail("a connection was neither answered nor dropped");
    peer.abort();
    // Let the instance see the end of the connection and free it.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
