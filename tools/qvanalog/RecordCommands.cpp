// Recording from the command line: the analog view model runs a whole trace
// (connect, start, live intake, stop with drain, end-of-trace, save) without a
// GUI, and answers sibling programs' report queries.
//
// The main thread is the view model's GUI thread: it owns a host-queue main
// dispatcher and drains it in its own loop, between redraws of one status line.

#include "Command.h"

#include "QV+AnalogCore/Presenters/QVxAnalogViewModel.h"
#include "QVxCore/Archive.h"
#include "QVxCore/Presenters/InteractionTaskRunner.h"
#include "QVxCore/ReportData/ReportFormat.h"
#include "QVxCore/TaskDispatcher.h"
#include "QVxWinCommon/DataClasses/QVxUnitRecordClock.h"
#include "QVxWinCommon/QVxNotification.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>
#include <sys/file.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <thread>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using qvanalog::Narrow;

namespace {

constexpr const char* kSimulatedUnit = "AN0000SIM";
constexpr std::int64_t kViewportColumns = 1920;  // a full-HD window's worth of live columns
constexpr auto kStatusInterval = std::chrono::milliseconds(200);
constexpr auto kPumpInterval = std::chrono::milliseconds(5);
constexpr std::uint32_t kUnitOverflowBit = 0x100;  // unit status word: records were lost

// SIGINT, SIGTERM and SIGHUP end a recording alike: the first one stops the trace
// with drain and the session is saved; any later one is refused with a line until
// the save is done (only SIGKILL cuts it short). Any thread may run the handler.
std::atomic<int> s_stopSignals{0};

extern "C" void OnStopSignal(int) {
    if (s_stopSignals.fetch_add(1) == 0) return;
    static constexpr char kRefused[] =
        "\nqvanalog: the recording is being stopped and saved; the signal is ignored until that is done\n";
    const ssize_t written = ::write(STDERR_FILENO, kRefused, sizeof kRefused - 1);
    static_cast<void>(written);
}

// Installs OnStopSignal for the recording's lifetime and restores the previous handlers.
class StopSignals {
public:
    StopSignals() {
        s_stopSignals = 0;
        struct sigaction action {};
        action.sa_handler = &OnStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &action, &m_previous[i]);
    }
    ~StopSignals() {
        for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &m_previous[i], nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool Requested() const { return s_stopSignals.load() > 0; }

private:
    static constexpr std::array<int, 3> kSignals{SIGINT, SIGTERM, SIGHUP};
    std::array<struct sigaction, 3> m_previous{};
};

// An exclusive lock on the --out folder for the whole run: two recordings into one
// folder would mix their "repo". flock on the folder itself, so no lock file is left
// behind; the kernel releases it when the process ends, however it ends.
class OutFolderLock {
public:
    OutFolderLock() = default;
    ~OutFolderLock() {
        if (m_fd >= 0) ::close(m_fd);
    }
    OutFolderLock(const OutFolderLock&) = delete;
    OutFolderLock& operator=(const OutFolderLock&) = delete;

    // An error text when the folder cannot be locked.
    std::optional<std::string> Acquire(const fs::path& folder) {
        m_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_fd < 0) return "cannot open the folder " + folder.string() + ": " + std::strerror(errno);
        if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) return std::nullopt;
        if (errno == EWOULDBLOCK) return "another qvanalog record is writing into " + folder.string();
        return "cannot lock the folder " + folder.string() + ": " + std::strerror(errno);
    }

private:
    int m_fd = -1;
};

bool StderrIsTerminal() {
    return ::isatty(STDERR_FILENO) != 0;
}

void PumpMain() {
    if (auto main = qvx::Dispatcher::GetMainInstance()) {
        while (main->ProcessInvoke()) {
        }
    }
}

// Messages the application would show in a box: printed to stderr and kept.
class CliNotification : public QVxNotificationBase {
public:
    void OnNotifyErrorMessage(const std::string& text) override {
        if (StderrIsTerminal()) std::cerr << "\n";
        std::cerr << "qvanalog: " << text << std::endl;
        m_last = text;
    }
    const std::string& Last() const { return m_last; }

private:
    std::string m_last;
};

// Long tasks run on a worker while this thread drains the main dispatcher and
// draws a progress bar on a terminal.
class CliInteraction : public qvx::IInteraction {
public:
    bool Run(qvx::InteractionRunBehaviors, const qvx::InteractionTask& task) override {
        const bool terminal = StderrIsTerminal();
        std::string caption = "working";
        bool drawn = false;
        auto progress = [&](std::int64_t current, std::int64_t total) {
            if (!terminal || total <= 0) return;
            const std::int64_t percent = current * 100 / total;
            const std::string bar(static_cast<std::size_t>(percent / 5), '#');
            std::cerr << fmt::format("\r{:<24} [{:<20}] {:3}%", caption, bar, percent) << std::flush;
            drawn = true;
        };
        auto setCaption = [&](const std::string& text) { caption = text; };
        const bool ok = qvx::InteractionTaskRunner::RunAndWait(task, progress, setCaption, &PumpMain);
        if (drawn) std::cerr << "\n";
        return ok;
    }
};

// The front end's share of start-up and shutdown around one view model.
class CliApplication {
public:
    CliApplication() {
        auto logger = std::make_shared<spdlog::logger>(
            "qvanalog", std::make_shared<spdlog::sinks::stderr_color_sink_mt>());
        logger->set_pattern("%v");
        logger->set_level(spdlog::level::warn);
        spdlog::set_default_logger(std::move(logger));
        if (!qvx::Dispatcher::GetMainInstance()) {
            qvx::Dispatcher::AttachMain(qvx::Dispatcher::kHostMessageQueue);
            m_ownDispatcher = true;
        }
        QVxNotification::Set(&m_notification);
        qvx::Interaction::Init(&m_interaction);
    }

    ~CliApplication() {
        m_viewModel.Shutdown();
        PumpMain();
        // Each run records into its own instance folder below the cache folder; it
        // goes unless it holds a recording that was not saved.
        const fs::path sessions = m_viewModel.GetCacheFolderPath();
        if (!m_keepInstanceFolder && !sessions.empty() && sessions != m_envData.GetCacheFolderPath()) {
            std::error_code ec;
            fs::remove_all(sessions, ec);
        }
        qvx::Interaction::Clear();
        QVxNotification::Set(nullptr);
        if (m_ownDispatcher) qvx::Dispatcher::DestroyMain();
    }

    // No dialog can ask for another cache folder here: a missing one ends start-up.
    bool Init() {
        auto repair = qvx::AnalogEnvData::MakeCacheFolderRepair([](const fs::path& old) {
            std::cerr << "qvanalog: the cache folder " << old << " does not exist\n";
            return std::optional<fs::path>();
        });
        return m_viewModel.Init(&m_envData, repair);
    }

    QVxAnalogViewModel& ViewModel() { return m_viewModel; }
    const CliNotification& Notification() const { return m_notification; }
    // Whether this run's instance folder stays when the program ends.
    void KeepInstanceFolder(bool keep) { m_keepInstanceFolder = keep; }

private:
    bool m_ownDispatcher = false;
    bool m_keepInstanceFolder = false;
    CliNotification m_notification;
    CliInteraction m_interaction;
    qvx::AnalogEnvData m_envData;
    QVxAnalogViewModel m_viewModel;  // destroyed before the services above
};

std::optional<std::int32_t> ParseRate(const std::string& text) {
    if (text == "100K") return 0;
    if (text == "1M") return 1;
    if (text == "10M") return 2;
    return std::nullopt;
}

std::optional<double> ParsePositive(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(value > 0) || value > 1e9) return std::nullopt;
    return value;
}

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());  // serial numbers are ASCII
}

// The unit to record from: the first analog unit with the serial number `deviceId` (as the
// device library opens the first match, also when two units share it), or the only analog
// unit listed. None with `error` set; units that were found but cannot be opened are named.
std::optional<QVxQVUsbDeviceId> ChooseUnit(const std::optional<std::string>& deviceId, std::string& error) {
    std::vector<QVxQVUsbDeviceId> analog;
    std::size_t unopened = 0;
    for (const QVxUnitListing& unit : QVxDeviceManager::ListUnits()) {
        if (!unit.opened) ++unopened;
        if (unit.opened && QVxDeviceManager::IsOfType(unit.id, QVxDeviceManager::kAnalogCaptureMode))
            analog.push_back({unit.id, unit.index});
    }
    const std::string unopenedText = unopened == 0 ? std::string()
                                                   : fmt::format("; {} unit(s) found cannot be opened: {}",
                                                                 unopened, qvanalog::kUnitAccessHint);
    if (deviceId) {
        for (const QVxQVUsbDeviceId& unit : analog)
            if (unit.id == Wide(*deviceId)) return unit;
        error = "no analog unit with the serial number " + *deviceId + unopenedText;
        return std::nullopt;
    }
    if (analog.empty() && unopened > 0) {
        error =
            fmt::format("{} unit(s) found, but none can be opened: {}", unopened, qvanalog::kUnitAccessHint);
        return std::nullopt;
    }
    if (analog.empty()) {
        error = "no analog unit attached (use --simulate for a simulated one)";
        return std::nullopt;
    }
    if (analog.size() > 1) {
        std::string ids;
        for (const QVxQVUsbDeviceId& unit : analog) ids += (ids.empty() ? "" : ", ") + Narrow(unit.id);
        error = "several analog units attached (" + ids + "); choose one with --device ID";
        return std::nullopt;
    }
    return analog.front();
}

// Connects the unit named `deviceId`, or the only listed one. False with `error`
// set (a connection failure was also shown as the application's message). The unit is
// connected as the device list would connect it, without the list's refresh, which refuses
// a serial number listed twice.
bool ConnectUnit(QVxAnalogViewModel& viewModel, const std::optional<std::string>& deviceId,
                 std::string& error) {
    const std::optional<QVxQVUsbDeviceId> chosen = ChooseUnit(deviceId, error);
    if (!chosen) return false;
    QVxAnalogDeviceManagerViewModel& devices = *viewModel.GetDeviceManagerViewModel();
    const auto wanted = std::make_shared<QVxDeviceViewModel>(&devices, *chosen);
    devices.StartConnection(wanted);
    devices.JoinConnectionThread();
    PumpMain();
    if (devices.GetConnectedDevice() != wanted) {
        error = "could not connect the unit";
        return false;
    }
    return true;
}

std::string FormatElapsed(std::uint32_t ms) {
    return fmt::format("{:02}:{:02}:{:02}.{}", ms / 3'600'000, ms / 60'000 % 60, ms / 1000 % 60,
                       ms / 100 % 10);
}

struct ReportFolderCounts {
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;      // record bytes, headers excluded
    std::uint64_t diskBytes = 0;  // file sizes, headers included
};

ReportFolderCounts CountReportFiles(const fs::path& repo) {
    ReportFolderCounts counts;
    std::error_code ec;
    for (fs::directory_iterator it(repo, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() != ".DAT") continue;
        const std::uintmax_t size = fs::file_size(it->path(), ec);
        if (ec) break;
        ++counts.files;
        counts.diskBytes += size;
        counts.bytes += size > qvx::kReportHeaderSize ? size - qvx::kReportHeaderSize : 0;
    }
    return counts;
}

void DrawStatusLine(QVxAnalogViewModel& viewModel) {
    QVxDeviceManager* manager = viewModel.GetDeviceManager();
    const QVPlusStatus status = manager->GetStatus();
    const double mib = static_cast<double>(viewModel.GetRecordCount()) * qvx::kReportRecordSize / 1'048'576.0;
    // What the report folder holds now: less than the data taken in once rotation ran.
    const double keptMib =
        static_cast<double>(CountReportFiles(viewModel.GetSession()->GetReportFolderPath()).diskBytes) /
        1'048'576.0;
    std::cerr << fmt::format(
                     "\relapsed {}  data {:.1f} MiB  on disk {:.1f} MiB  buffer {:3}%  triggers {}   ",
                     FormatElapsed(status.elapsedMs), mib, keptMib,
                     manager->GetStatusValue(kStatusUnitBufferPercent), viewModel.GetDisplayTriggerHitCount())
              << std::flush;
}

// A recording that could not be saved stays in this run's instance folder, with a
// settings file and "meta" of its own beside it so that `save-as` can save it later.
void KeepRecording(const qvx::AnalogSession& session, const fs::path& outPath) {
    const bool settingsKept = session.SaveRecordingSettings();
    const fs::path meta = session.GetReportFolderPath() / qvx::AnalogSession::kMetadataFileName;
    if (!qvx::Archive::Save(session.GetDisplayTriggerList(), meta))
        std::cerr << "qvanalog: the display trigger hits could not be kept in " << meta.string() << "\n";
    std::cerr << "qvanalog: the recording is kept in " << session.GetFolderPath().string() << "\n";
    if (settingsKept) {
        std::cerr << "qvanalog: save it with: qvanalog recover "
                  << session.GetFolderPath().filename().string() << " --out '" << outPath.string() << "'\n";
    } else {
        std::cerr << "qvanalog: its settings file could not be written; the report files are in "
                  << session.GetReportFolderPath().string() << "\n";
    }
}

// The --out folder, made when missing, takes files and is locked for this run. An
// error text otherwise.
std::optional<std::string> PrepareOutFolder(const fs::path& outPath, OutFolderLock& lock) {
    const fs::path folder = outPath.parent_path();
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) return "cannot create the folder " + folder.string() + ": " + ec.message();
    if (auto problem = qvx::AnalogSession::CheckSaveDestination(outPath)) return problem;
    if (auto problem = lock.Acquire(folder)) return problem;
    if (fs::exists(folder / qvx::AnalogSession::kReportFolderName, ec))
        return folder.string() + " already holds a \"repo\" folder";
    return std::nullopt;
}

// The options of `record`, checked.
struct RecordOptions {
    fs::path outPath;
    std::optional<std::int32_t> rate;  // sampling frequency index
    std::optional<double> duration;    // s of record time
    std::optional<double> sizeMB;      // MiB, whole
    bool json = false;
};

// Reads the options of `record`; an error text when one is missing or malformed.
std::optional<std::string> ParseRecordOptions(qvanalog::Args& args, RecordOptions& options) {
    args.DeclareValueOptions({"--out", "--settings", "--device", "--rate", "--duration", "--size"});
    if (!args.Positionals().empty()) return "unexpected argument " + args.Positionals().front();
    const auto out = args.Option("--out");
    if (!out || fs::path(*out).extension() != ".qvxa" || !fs::path(*out).has_stem())
        return "--out DIR/NAME.qvxa is required";
    options.outPath = fs::absolute(*out).lexically_normal();
    if (const auto text = args.Option("--rate"); text && !(options.rate = ParseRate(*text)))
        return "--rate must be 100K, 1M or 10M";
    if (const auto text = args.Option("--duration"); text && !(options.duration = ParsePositive(*text)))
        return "--duration must be a positive number of seconds";
    if (const auto text = args.Option("--size");
        text && (!(options.sizeMB = ParsePositive(*text)) ||
                 *options.sizeMB != static_cast<std::int32_t>(*options.sizeMB)))
        return "--size must be a positive whole number of MiB";
    options.json = args.Flag("--json");
    return std::nullopt;
}

// The session's settings from --settings, then --rate and --size over them.
std::optional<std::string> ApplyRecordSettings(qvanalog::Args& args, const RecordOptions& options,
                                               qvx::AnalogSettings& settings) {
    if (const auto file = args.Option("--settings"); file && !qvx::Archive::Load(settings, *file))
        return "cannot read the settings file " + *file;
    if (options.rate) settings.samplingFrequency = *options.rate;
    if (options.sizeMB) {
        settings.enableStopDataSize = true;
        settings.stopDataSizeMB = static_cast<std::int32_t>(*options.sizeMB);
    }
    return std::nullopt;
}

// ConnectUnit with stdout on stderr meanwhile: the device manager announces a connection on
// stdout, which carries results only.
bool ConnectUnitQuietly(QVxAnalogViewModel& viewModel, const std::optional<std::string>& device,
                        std::string& error) {
    std::fflush(stdout);
    const int savedStdout = ::dup(STDOUT_FILENO);
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
    const bool connected = ConnectUnit(viewModel, device, error);
    std::fflush(stdout);
    ::dup2(savedStdout, STDOUT_FILENO);
    ::close(savedStdout);
    return connected;
}

// The unit's record clock of this trace: the sampling rate, unknown with TRG3's external clock.
QVxUnitRecordClock MakeUnitRecordClock(const QVxAnalogViewModel& viewModel) {
    const qvx::AnalogSettings& settings = viewModel.GetSession()->GetSettings();
    return QVxUnitRecordClock(
        settings.trigger3ChMode != qvx::TriggerChannelMode::kOff ? 0 : settings.GetSamplingFrequency());
}

// Record time (ns) of the newest record the unit holds, as far as this thread can tell (see
// QVxUnitRecordClock); none before the first record. The fill is read after the last record's
// time, so it never counts a record that time covers (the device library publishes it without
// the blocks it has handed over).
std::optional<std::int64_t> NewestRecordTimeNs(QVxAnalogViewModel& viewModel, QVxUnitRecordClock& clock) {
    std::optional<std::int64_t> taken;
    if (viewModel.GetRecordCount() > 0) taken = viewModel.GetLastRecordTime();
    const QVPlusStatus status = viewModel.GetDeviceManager()->GetStatus();
    const std::int64_t hostNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
    return clock.Update(taken, status.unitBufferFill, status.unitBufferSize, hostNs);
}

// Runs the main loop until the trace is idle again: stops it with drain as soon as a record
// the unit holds lies `durationNs` of record time after the start, or a stop signal came, and
// redraws the status line on a terminal. The drain still takes in every record the unit
// captured until the stop reached it.
void RunTraceUntilIdle(QVxAnalogViewModel& viewModel, const StopSignals& signals,
                       std::optional<std::int64_t> durationNs) {
    const bool terminal = StderrIsTerminal();
    auto nextDraw = Clock::now();
    QVxUnitRecordClock unitClock = MakeUnitRecordClock(viewModel);
    while (viewModel.GetTraceState() != QVxAnalogViewModel::kIdle) {
        PumpMain();
        const auto now = Clock::now();
        const bool tracing = viewModel.GetTraceState() == QVxAnalogViewModel::kTracing;
        const bool timeUp = durationNs && tracing && NewestRecordTimeNs(viewModel, unitClock) >= *durationNs;
        if ((timeUp || signals.Requested()) && viewModel.GetTraceState() == QVxAnalogViewModel::kTracing)
            viewModel.StopTrace();
        if (terminal && now >= nextDraw && viewModel.GetTraceState() != QVxAnalogViewModel::kIdle) {
            DrawStatusLine(viewModel);
            nextDraw = now + kStatusInterval;
        }
        std::this_thread::sleep_for(kPumpInterval);
    }
    if (terminal) std::cerr << "\n";
}

// What `record` reports about the finished trace.
struct RecordSummary {
    std::uint64_t records = 0;
    ReportFolderCounts counts;
    std::uint32_t elapsedMs = 0;
    std::uint64_t triggers = 0;
    std::size_t storedTriggers = 0;
    bool timeWentBackwards = false;
    bool lost = false;
    QVxAbortType abortType = QVxAbortType::None;
    std::int64_t removedFiles = 0;
    bool saved = false;
};

void PrintRecordSummary(const RecordSummary& s, const fs::path& outPath, bool json) {
    if (json) {
        nlohmann::ordered_json summary{{"records", s.records},
                                       {"bytes", s.counts.bytes},
                                       {"files", s.counts.files},
                                       {"elapsedMs", s.elapsedMs},
                                       {"displayTriggers", s.triggers},
                                       {"storedDisplayTriggers", s.storedTriggers},
                                       {"timeWentBackwards", s.timeWentBackwards},
                                       {"lostRecords", s.lost},
                                       {"abortType", static_cast<int>(s.abortType)},
                                       {"removedFiles", s.removedFiles}};
        std::cout << summary.dump() << "\n";
        return;
    }
    const std::string triggerText = s.storedTriggers == s.triggers
                                        ? std::to_string(s.triggers)
                                        : fmt::format("{} ({} stored)", s.triggers, s.storedTriggers);
    std::cout << fmt::format(
        "records            {}\nbytes              {}\nfiles              {}\nelapsed            {} ms\n"
        "display triggers   {}\ntime went backwards {}\nrecords lost       {}\nfiles rotated out  {}\n"
        "saved              {}\n",
        s.records, s.counts.bytes, s.counts.files, s.elapsedMs, triggerText,
        s.timeWentBackwards ? "yes" : "no", s.lost ? "yes (unit memory overflowed)" : "no", s.removedFiles,
        s.saved ? outPath.string() : "no");
}

// Saves the session as `outPath` and gathers the summary; the figures describe this run's
// files: saved, or kept in the instance folder.
RecordSummary SaveRecording(QVxAnalogViewModel& viewModel, CliApplication& app, const fs::path& outPath) {
    RecordSummary s;
    s.abortType = viewModel.GetLastAbortType();
    const QVPlusStatus status = viewModel.GetDeviceManager()->GetStatus();
    s.saved = viewModel.SaveAsSession(outPath);
    app.KeepInstanceFolder(!s.saved);
    const qvx::AnalogSession& session = *viewModel.GetSession();
    s.counts = CountReportFiles(s.saved ? outPath.parent_path() / qvx::AnalogSession::kReportFolderName
                                        : session.GetReportFolderPath());
    s.records = viewModel.GetRecordCount();
    s.elapsedMs = status.elapsedMs;
    s.triggers = viewModel.GetDisplayTriggerHitCount();
    s.storedTriggers = session.GetDisplayTriggerList().size();
    s.timeWentBackwards = viewModel.TimeWentBackwards();
    s.lost = (status.unitStatusWord & kUnitOverflowBit) != 0;
    s.removedFiles = viewModel.GetLogCollector()->GetRemovedFileCount();
    return s;
}

int RunRecord(qvanalog::Args& args) {
    RecordOptions options;
    if (auto problem = ParseRecordOptions(args, options)) return qvanalog::Fail(*problem);
    OutFolderLock outLock;
    if (auto problem = PrepareOutFolder(options.outPath, outLock)) return qvanalog::Fail(*problem);

    if (args.Flag("--simulate") && !std::getenv("QVPLUS_SIMULATED_UNITS"))
        ::setenv("QVPLUS_SIMULATED_UNITS", kSimulatedUnit, 1);

    StopSignals signals;  // outlives the application, so that its shutdown is not cut short
    CliApplication app;
    if (!app.Init()) return qvanalog::Fail("start-up failed (preferences or cache folder)");
    QVxAnalogViewModel& viewModel = app.ViewModel();
    if (auto problem = ApplyRecordSettings(args, options, *viewModel.GetSessionSettings()))
        return qvanalog::Fail(*problem);

    std::string error;
    if (!ConnectUnitQuietly(viewModel, args.Option("--device"), error)) return qvanalog::Fail(error);
    if (signals.Requested()) return qvanalog::Fail("interrupted before the trace started");

    // The live window: every new session gets a presenter that needs its width.
    auto sessionChanged = viewModel.SessionChanged.Connect([&viewModel] {
        if (auto* presenter = viewModel.GetOscilloGraphViewModel())
            presenter->ResetViewportWidth(kViewportColumns);
    });
    if (!viewModel.StartTrace()) return qvanalog::Fail("the trace did not start");
    app.KeepInstanceFolder(true);  // it holds the recording until that is saved

    // --duration counts the records' own time from the acquisition start (ns), not
    // the wall clock after the start call, which includes the unit's start-up wait.
    std::optional<std::int64_t> durationNs;
    if (options.duration) durationNs = std::llround(*options.duration * 1e9);
    RunTraceUntilIdle(viewModel, signals, durationNs);

    const RecordSummary summary = SaveRecording(viewModel, app, options.outPath);
    PrintRecordSummary(summary, options.outPath, options.json);
    if (!summary.saved) {
        qvanalog::Fail("the session could not be saved as " + options.outPath.string());
        KeepRecording(*viewModel.GetSession(), options.outPath);
        return 1;
    }
    if (!viewModel.GetSession()->GetSettings().enableReportFileRotation &&
        summary.records * qvx::kReportRecordSize != summary.counts.bytes)
        spdlog::warn("{} records taken in but {} record bytes in the files", summary.records,
                     summary.counts.bytes);
    return summary.abortType == QVxAbortType::None ? 0 : 1;
}

int RunQuery(qvanalog::Args& args) {
    args.DeclareValueOptions({"--session"});
    const auto positionals = args.Positionals();
    if (positionals.size() != 1) return qvanalog::Fail("expected one QUERY.json argument");
    CliApplication app;
    if (!app.Init()) return qvanalog::Fail("start-up failed (preferences or cache folder)");
    QVxAnalogViewModel& viewModel = app.ViewModel();
    if (const auto session = args.Option("--session"); session && !viewModel.OpenSession(*session))
        return qvanalog::Fail("cannot open the session " + *session);
    if (!viewModel.HandleReportQuery(positionals.front()))
        return qvanalog::Fail("the query " + positionals.front() + " could not be answered");
    return 0;
}

const qvanalog::Registration s_record{
    "record",
    "record --out DIR/NAME.qvxa [--settings FILE.qvxa] [--device ID] [--rate 100K|1M|10M] "
    "[--duration SECONDS] [--size MB] [--simulate] [--json]",
    &RunRecord};
const qvanalog::Registration s_query{"query", "query QUERY.json [--session FILE.qvxa]", &RunQuery};

}  // namespace
