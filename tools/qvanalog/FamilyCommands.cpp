// Family commands: list the running instances of the application family and send
// them sync time, trace and report check messages, as one more member of the family
// (without a socket of its own).

#include "Command.h"

#include "QVxWinCommon/DataClasses/QVxAppIntegration.h"

#include <QCoreApplication>

#include <nlohmann/json.hpp>

#include <charconv>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Peer = QVxAppIntegration::Peer;

// The event loop the sockets need; made only when the program has none yet.
std::unique_ptr<QCoreApplication> MakeApplication() {
    if (QCoreApplication::instance()) return nullptr;
    static int s_argc = 1;
    static char s_name[] = "qvanalog";
    static char* s_argv[] = {s_name, nullptr};
    return std::make_unique<QCoreApplication>(s_argc, s_argv);
}

template <typename T>
std::optional<T> ParseWhole(const std::string& text) {
    T value{};
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

// The family instances to address: all of them, or the one named by --pid. Returns
// an empty list after printing why when there is none.
std::vector<Peer> SelectPeers(const QVxAppIntegration& family, const qvanalog::Args& args, int& status) {
    std::vector<Peer> peers = family.ListPeers();
    if (const std::optional<std::string> pidText = args.Option("--pid")) {
        const std::optional<std::int64_t> pid = ParseWhole<std::int64_t>(*pidText);
        if (!pid || *pid <= 0) {
            status = qvanalog::Fail("--pid needs a process id, not \"" + *pidText + "\"");
            return {};
        }
        std::erase_if(peers, [&](const Peer& p) { return p.pid != *pid; });
        if (peers.empty()) {
            status = qvanalog::Fail("no family instance with pid " + *pidText + " in " +
                                    QVxAppIntegration::FamilyFolder().string());
            return {};
        }
    }
    if (peers.empty())
        status =
            qvanalog::Fail("no family instance found in " + QVxAppIntegration::FamilyFolder().string() +
                           " (programs whose path contains \"" + QVxAppIntegration::FamilyExeMatch() + "\")");
    return peers;
}

// Sends with `send` to each selected peer and prints the ones reached.
template <typename Send>
int SendToPeers(qvanalog::Args& args, Send send) {
    const auto app = MakeApplication();
    QVxAppIntegration family;
    int status = 0;
    const std::vector<Peer> peers = SelectPeers(family, args, status);
    if (peers.empty()) return status;
    std::size_t reached = 0;
    for (const Peer& peer : peers) {
        if (!send(family, peer)) continue;
        ++reached;
        std::cout << "sent to pid " << peer.pid << "\n";
    }
    if (reached == 0) return qvanalog::Fail("no family instance took the message");
    return 0;
}

int RunList(qvanalog::Args& args) {
    if (!args.Words().empty()) return qvanalog::Fail("family list takes no arguments");
    const auto app = MakeApplication();
    QVxAppIntegration family;
    int status = 0;
    const std::vector<Peer> peers = SelectPeers(family, args, status);
    for (const Peer& peer : peers) std::cout << peer.pid << "\t" << peer.exePath << "\n";
    return status;
}

int RunSyncTime(qvanalog::Args& args) {
    args.DeclareValueOptions({"--pid"});
    const std::vector<std::string> positionals = args.Positionals();
    if (positionals.size() != 1) return qvanalog::Fail("expected one ABS_NS argument");
    const std::optional<std::int64_t> absNs = ParseWhole<std::int64_t>(positionals.front());
    if (!absNs || *absNs < 0)
        return qvanalog::Fail("ABS_NS must be a non-negative whole number of nanoseconds, not \"" +
                              positionals.front() + "\"");
    return SendToPeers(args, [&](const QVxAppIntegration& family, const Peer& peer) {
        return family.SendSyncTimeTo(peer, *absNs);
    });
}

int RunTrace(qvanalog::Args& args) {
    args.DeclareValueOptions({"--pid"});
    const std::vector<std::string> positionals = args.Positionals();
    if (positionals.size() != 1 || (positionals.front() != "start" && positionals.front() != "stop"))
        return qvanalog::Fail("expected start or stop");
    const auto request = positionals.front() == "start" ? QVxAppIntegration::kSyncTraceStart
                                                        : QVxAppIntegration::kSyncTraceStop;
    return SendToPeers(args, [&](const QVxAppIntegration& family, const Peer& peer) {
        return family.SendSyncTraceTo(peer, request);
    });
}

int RunCheckReport(qvanalog::Args& args) {
    args.DeclareValueOptions({"--pid", "--timeout-ms"});
    const std::vector<std::string> positionals = args.Positionals();
    if (positionals.size() != 1) return qvanalog::Fail("expected one QUERY.json argument");
    std::error_code ec;
    const fs::path query = fs::absolute(positionals.front(), ec);
    if (ec || !fs::is_regular_file(query, ec)) return qvanalog::Fail("no query file " + positionals.front());
    int timeoutMs = QVxAppIntegration::kDefaultReplyTimeoutMs;
    if (const std::optional<std::string> text = args.Option("--timeout-ms")) {
        const std::optional<int> value = ParseWhole<int>(*text);
        if (!value || *value <= 0)
            return qvanalog::Fail("--timeout-ms needs a positive number, not \"" + *text + "\"");
        timeoutMs = *value;
    }
    const auto app = MakeApplication();
    QVxAppIntegration family;
    int status = 0;
    const std::vector<Peer> peers = SelectPeers(family, args, status);
    if (peers.empty()) return status;
    // The answering instance writes the query's result file itself; only its 1 or 0 is printed here.
    for (const Peer& peer : peers) {
        const std::optional<bool> result = family.CheckLoadedReport(peer, query.string(), timeoutMs);
        if (!result) {
            status = qvanalog::Fail("pid " + std::to_string(peer.pid) + " did not answer");
            continue;
        }
        std::cout << nlohmann::json{{"pid", peer.pid}, {"result", *result ? 1 : 0}}.dump() << "\n";
    }
    return status;
}

const qvanalog::Registration s_list{
    "family list", "family list                   # running family instances: pid and program", &RunList};
const qvanalog::Registration s_syncTime{"family sync-time", "family sync-time ABS_NS [--pid PID]",
                                        &RunSyncTime};
const qvanalog::Registration s_trace{"family trace", "family trace start|stop [--pid PID]", &RunTrace};
const qvanalog::Registration s_checkReport{
    "family check-report", "family check-report QUERY.json [--pid PID] [--timeout-ms MS]", &RunCheckReport};

}  // namespace
