// Session commands: settings init|show and save-as, on the classes the application
// uses. Long steps (opening a report, copying it) run on a worker thread with a
// progress token; the main thread drains the progress updates and draws them on a
// terminal.

#include "Command.h"
#include "SessionSupport.h"

#include "QV+AnalogCore/QVxAppStrings.h"
#include "QVxCore/Archive.h"
#include "QVxCore/Presenters/InteractionTaskRunner.h"
#include "QVxCore/ReportData/RecordCodec.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/TaskDispatcher.h"
#include "QVxWinCommon/QVxGuiStrings.h"

#include <spdlog/spdlog.h>
#include <unistd.h>

#include <iostream>

namespace fs = std::filesystem;

namespace {

// Runs `task` on a worker behind a terminal progress line (only when stderr is a
// terminal). A host-queue main dispatcher carries the updates to this thread.
// Returns false when the task threw (the error is logged).
bool RunWithProgress(const std::string& caption, const qvx::InteractionTask& task) {
    const bool ownDispatcher = !qvx::Dispatcher::GetMainInstance();
    if (ownDispatcher) qvx::Dispatcher::AttachMain(qvx::Dispatcher::kHostMessageQueue);
    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    bool drawn = false;
    auto progress = [&](std::int64_t current, std::int64_t total) {
        if (!terminal || total <= 0) return;
        std::cerr << "\r" << caption << " " << current << "/" << total << " (" << current * 100 / total
                  << "%)" << std::flush;
        drawn = true;
    };
    auto pump = [] {
        if (auto main = qvx::Dispatcher::GetMainInstance()) {
            while (main->ProcessInvoke()) {
            }
        }
    };
    const bool ok = qvx::InteractionTaskRunner::RunAndWait(task, progress, {}, pump);
    if (drawn) std::cerr << "\n";
    if (ownDispatcher) qvx::Dispatcher::DestroyMain();
    return ok;
}

std::optional<fs::path> OneFileArgument(qvanalog::Args& args, const char* what, std::string& error) {
    const auto positionals = args.Positionals();
    if (positionals.size() != 1) {
        error = std::string("expected one ") + what + " argument";
        return std::nullopt;
    }
    return fs::path(positionals.front());
}

// Whether `folder` holds report data: numbered data files or the hit list "meta".
bool HoldsReportData(const fs::path& folder) {
    std::error_code ec;
    if (fs::exists(folder / qvx::AnalogSession::kMetadataFileName, ec)) return true;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (qvx::IsReportDataFileName(it->path())) return true;
    return false;
}

// Why `file` may not be (re)written as a settings file, or none. The settings file is written
// where a symbolic link leads, so that place counts: its name must end in ".qvxa", it must not
// lie among a recording's report data, and an existing one must not be the settings file of a
// session with report data (its ranges and probes are how that data reads).
std::optional<std::string> RefuseSettingsTarget(const fs::path& file) {
    if (file.extension() != ".qvxa") return file.string() + ": a settings file name ends in .qvxa";
    std::error_code ec;
    const fs::path target = fs::is_symlink(file, ec) ? fs::weakly_canonical(file, ec) : file;
    if (target.extension() != ".qvxa")
        return file.string() + " leads to " + target.string() + ", which is not a settings file name";
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    if (HoldsReportData(folder))
        return file.string() + " would lie among the report data of " + folder.string();
    if (fs::exists(target, ec) && HoldsReportData(folder / qvx::AnalogSession::kReportFolderName))
        return file.string() + " is the settings file of the recording in " +
               (folder / qvx::AnalogSession::kReportFolderName).string() +
               "; replacing it would change how that recording reads";
    return std::nullopt;
}

int RunSettingsInit(qvanalog::Args& args) {
    std::string error;
    const auto file = OneFileArgument(args, "FILE.qvxa", error);
    if (!file) return qvanalog::Fail(error);
    if (const auto refused = RefuseSettingsTarget(*file)) return qvanalog::Fail(*refused);
    std::error_code ec;
    if (fs::exists(*file, ec) && !args.Flag("--force")) {
        return qvanalog::Fail(file->string() + " exists (use --force to replace it)");
    }
    qvx::AnalogSettings settings;
    if (!qvx::Archive::Save(settings, *file)) return qvanalog::Fail("cannot write " + file->string());
    return 0;
}

int RunSettingsShow(qvanalog::Args& args) {
    std::string error;
    const auto file = OneFileArgument(args, "FILE.qvxa", error);
    if (!file) return qvanalog::Fail(error);
    qvx::AnalogSettings settings;
    if (!qvx::Archive::Load(settings, *file))
        return qvanalog::Fail("cannot load settings file " + file->string());
    const auto text = qvx::Archive::ToText(settings);
    if (!text) return qvanalog::Fail("cannot serialise the settings");
    std::cout << *text << "\n";
    return 0;
}

int RunSaveAs(qvanalog::Args& args) {
    const auto positionals = args.Positionals();
    if (positionals.size() != 2) return qvanalog::Fail("expected SESSION.qvxa and NEW.qvxa");
    return qvanalog::SaveSessionAs(positionals[0], positionals[1], false);
}

const qvanalog::Registration s_settingsInit{"settings init", "settings init FILE.qvxa [--force]",
                                            &RunSettingsInit};
const qvanalog::Registration s_settingsShow{"settings show", "settings show FILE.qvxa", &RunSettingsShow};
const qvanalog::Registration s_saveAs{"save-as", "save-as SESSION.qvxa NEW.qvxa", &RunSaveAs};

}  // namespace

namespace qvanalog {

int SaveSessionAs(const fs::path& source, const fs::path& target, bool freshRecording) {
    // The source first: a missing one is the mistake to report, whatever the destination.
    std::error_code ec;
    const std::string cannotOpen(QVxLoadAppString(kAppStringOpenSettingsFailed));
    if (!fs::exists(source, ec)) return qvanalog::Fail(cannotOpen + " (" + source.string() + ": not found)");
    if (!fs::is_regular_file(source, ec))
        return qvanalog::Fail(cannotOpen + " (" + source.string() + ": not a settings file)");
    // The application refuses a destination folder that already holds report data.
    const fs::path targetFolder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    if (fs::exists(targetFolder / qvx::AnalogSession::kReportFolderName, ec)) {
        return qvanalog::Fail(std::string(QVxLoadAppString(kAppStringFolderHoldsReport)) + " (" +
                              targetFolder.string() + ")");
    }
    // A folder given as the file name, a missing or read-only folder: refused before copying.
    if (const auto problem = qvx::AnalogSession::CheckSaveDestination(target))
        return qvanalog::Fail(*problem);

    qvx::AnalogSession session;
    bool opened = false;
    int code = -1;
    std::string failure;  // a file-system error thrown on the worker
    RunWithProgress("opening", [&](qvx::ProgressToken* token) {
        try {
            opened = session.OpenInternal(source, token, code);
        } catch (const std::exception& e) {
            failure = e.what();
        }
    });
    if (!failure.empty()) return qvanalog::Fail(failure);
    if (!opened)
        return qvanalog::Fail(std::string(QVxLoadAppString(kAppStringOpenSettingsFailed)) + " (" +
                              source.string() + ")");
    if (code == qvx::AnalogSession::kOpenedReportTooOld)
        std::cerr << QVxLoadAppString(kAppStringReportTooOld) << "\n";

    // A fresh recording on the same volume is moved: a rename, instant, on this thread.
    session.SetFreshRecording(freshRecording);
    int result = qvx::AnalogSession::kSaveFailed;
    auto save = [&](qvx::ProgressToken* token) {
        try {
            result = session.SaveAs(target, token);
        } catch (const std::exception& e) {
            failure = e.what();
        }
    };
    if (session.WillMoveReportTo(target))
        save(nullptr);
    else
        RunWithProgress("copying", save);
    if (!failure.empty()) return qvanalog::Fail(failure);
    if (result == qvx::AnalogSession::kNotEnoughSpace)
        return qvanalog::Fail(std::string(QVxLoadGuiString(kGuiStringNotEnoughSpace)));
    if (result != qvx::AnalogSession::kSaved)
        return qvanalog::Fail(std::string(QVxLoadAppString(kAppStringSaveSettingsFailed)));
    return 0;
}

bool OpenReportOrSession(const fs::path& path, OpenedReport& out) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        out.reader = qvx::ReportDataReader::Open(path);
        if (!out.reader) out.error = "cannot open report folder " + path.string();
        return static_cast<bool>(out.reader);
    }
    out.session = std::make_unique<qvx::AnalogSession>();
    bool opened = false;
    std::string failure;
    RunWithProgress("opening", [&](qvx::ProgressToken* token) {
        try {
            opened = out.session->OpenInternal(path, token, out.openCode);
        } catch (const std::exception& e) {
            failure = e.what();
        }
    });
    if (!opened) {
        out.session.reset();
        out.error = std::string(QVxLoadAppString(kAppStringOpenSettingsFailed)) + " (" + path.string() + ")" +
                    (failure.empty() ? "" : ": " + failure);
        return false;
    }
    out.reader = out.session->GetReportData();
    if (!out.reader) {
        out.error = "the session " + path.string() + " has no report data to show (open code " +
                    std::to_string(out.openCode) + ")";
    }
    return static_cast<bool>(out.reader);
}

int PrintDraftSession(const OpenedReport& opened, bool json) {
    if (json) {
        nlohmann::ordered_json out = nlohmann::ordered_json::object();
        AddSessionInfo(out, opened);
        std::cout << out.dump() << "\n";
        return 0;
    }
    std::cout << "session           " << opened.session->GetSettingFilePath().string() << "\n"
              << "status            draft (open code " << opened.openCode << ")\n";
    if (opened.openCode == qvx::AnalogSession::kOpenedReportTooOld)
        std::cout << QVxLoadAppString(kAppStringReportTooOld) << "\n";
    std::cout << "report data       none\n";
    return 0;
}

void AddSessionInfo(nlohmann::ordered_json& out, const OpenedReport& opened) {
    if (!opened.session) return;
    const auto& session = *opened.session;
    out["status"] =
        session.GetStatus() == qvx::AnalogSession::Status::ReportOpened ? "reportOpened" : "draft";
    out["openCode"] = opened.openCode;
    nlohmann::ordered_json hits = nlohmann::ordered_json::array();
    for (const auto& hit : session.GetDisplayTriggerList()) {
        hits.push_back({{"dataIndex", hit.dataIndex}, {"widthNSec", hit.widthNSec}});
    }
    out["displayTriggerList"] = std::move(hits);
}

nlohmann::ordered_json SessionValues(const qvx::AnalogSession& session, const std::uint8_t* record) {
    nlohmann::ordered_json values = nlohmann::ordered_json::array();
    for (std::size_t c = 0; c < qvx::kRecordChannelCount; ++c) {
        const double normalized = qvx::NormalizedSample(qvx::RecordRawSample(record, c));
        values.push_back(
            session.GetSettings().MakeDisplayTextFromNormalizedValue(static_cast<int>(c), normalized));
    }
    return values;
}

}  // namespace qvanalog
