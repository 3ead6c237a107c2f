// Orphaned recordings: what programs that ended without saving (a crash, a kill, a
// power cut) left in the cache folder. Lists them, saves one as a session, or
// deletes one. A folder that a running program records into is never listed.

#include "Command.h"
#include "SessionSupport.h"

#include "QVxCore/AnalogEnvData.h"
#include "QVxCore/Recovery/OrphanedRecordings.h"

#include <fmt/chrono.h>
#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <iostream>

namespace fs = std::filesystem;

namespace {

// "2026-12-08T15:53:01.123456789Z"; empty for an unknown start time.
std::string IsoUtc(std::int64_t ns) {
    if (ns <= 0) return {};
    const std::time_t seconds = static_cast<std::time_t>(ns / 1'000'000'000);
    return fmt::format("{:%Y-%m-%dT%H:%M:%S}.{:09}Z", fmt::gmtime(seconds), ns % 1'000'000'000);
}

nlohmann::ordered_json ToJson(const qvx::OrphanedRecording& r) {
    return {{"id", r.id},
            {"folder", r.folder.string()},
            {"records", r.records},
            {"startTimeNs", r.startTimeNs},
            {"startTime", IsoUtc(r.startTimeNs)},
            {"lengthNs", r.lengthNs},
            {"bytes", r.bytes},
            {"tornBytes", r.tornBytes},
            {"hasSettings", r.hasSettings},
            {"readable", r.readable},
            {"problem", r.problem}};
}

void PrintList(const std::vector<qvx::OrphanedRecording>& recordings, bool json) {
    if (json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const auto& r : recordings) list.push_back(ToJson(r));
        std::cout << nlohmann::ordered_json{{"recordings", list}}.dump() << "\n";
        return;
    }
    if (recordings.empty()) {
        std::cout << "no orphaned recordings\n";
        return;
    }
    for (const auto& r : recordings) {
        std::cout << fmt::format("{}  start {}  {:.3f} s  {} records  {} bytes{}\n", r.id,
                                 r.startTimeNs > 0 ? IsoUtc(r.startTimeNs) : "unknown",
                                 static_cast<double>(r.lengthNs) / 1e9, r.records, r.bytes,
                                 r.problem.empty() ? "" : "  (" + r.problem + ")");
    }
}

// The configured cache folder (the default one when none is set).
std::optional<fs::path> CacheFolder() {
    qvx::AnalogEnvData env;
    auto repair = qvx::AnalogEnvData::MakeCacheFolderRepair([](const fs::path&) { return std::nullopt; });
    if (!env.LoadPrefsAndRepair(repair)) return std::nullopt;
    return env.GetCacheFolderPath();
}

// A recording whose settings file was damaged is saved with the defaults; the damaged file
// goes beside the new session as NEW.qvxa.damaged (or .damaged-N when that name is taken),
// since the orphaned folder is removed next.
// False when it could not be copied: it then stays where it is.
bool KeepDamagedSettings(const fs::path& damaged, const fs::path& saved) {
    fs::path kept = saved;
    kept += ".damaged";
    std::error_code ec;
    for (int n = 1; fs::exists(kept, ec) && n < 100; ++n) {
        kept = saved;
        kept += ".damaged-" + std::to_string(n);
    }
    fs::copy_file(damaged, kept, fs::copy_options::none, ec);
    std::cerr << "qvanalog: the settings file of the recording was damaged; the recording was saved with "
                 "the default settings and the damaged file is kept as "
              << (ec ? damaged.string() : kept.string()) << "\n";
    return !ec;
}

int RunRecover(qvanalog::Args& args) {
    args.DeclareValueOptions({"--out"});
    const auto positionals = args.Positionals();
    const auto out = args.Option("--out");
    const bool discard = args.Flag("--discard");
    if (positionals.size() > 1) return qvanalog::Fail("expected at most one recording ID");
    if (positionals.empty() && (out || discard))
        return qvanalog::Fail("--out and --discard need a recording ID");
    if (!positionals.empty() && !out == !discard)
        return qvanalog::Fail("give either --out NEW.qvxa or --discard");
    if (out && fs::path(*out).extension() != ".qvxa") return qvanalog::Fail("--out must name a .qvxa file");

    const auto cacheFolder = CacheFolder();
    if (!cacheFolder) return qvanalog::Fail("the cache folder does not exist");
    const std::vector<qvx::OrphanedRecording> recordings = qvx::OrphanedRecordings::List(*cacheFolder);
    if (positionals.empty()) {
        PrintList(recordings, args.Flag("--json"));
        return 0;
    }
    const std::string& id = positionals.front();
    const auto found = std::find_if(recordings.begin(), recordings.end(),
                                    [&](const qvx::OrphanedRecording& r) { return r.id == id; });
    if (found == recordings.end()) return qvanalog::Fail("no orphaned recording " + id);

    std::string error;
    if (discard) {
        if (!qvx::OrphanedRecordings::Discard(*found, error)) return qvanalog::Fail(error);
        return 0;
    }
    if (!found->readable) return qvanalog::Fail("the recording " + id + " cannot be read: " + found->problem);
    // Held while it is saved, so that no other program takes it meanwhile.
    auto lock = qvx::OrphanedRecordings::Claim(*found);
    if (!lock) return qvanalog::Fail(found->folder.string() + " is in use by a running program");
    fs::path damaged;
    if (!qvx::OrphanedRecordings::EnsureSettingsFile(*found, error, &damaged)) return qvanalog::Fail(error);
    const int status = qvanalog::SaveSessionAs(found->SettingsFile(), fs::absolute(*out), true);
    if (status != 0) return status;
    std::error_code ec;
    if (!damaged.empty() && !KeepDamagedSettings(damaged, fs::absolute(*out))) return 0;
    fs::remove_all(found->folder, ec);  // saved: what is left there is no longer needed
    if (ec)
        std::cerr << "qvanalog: " << found->folder.string() << " could not be removed: " << ec.message()
                  << "\n";
    return 0;
}

const qvanalog::Registration s_recover{
    "recover", "recover [--json] | recover ID --out NEW.qvxa | recover ID --discard", &RunRecover};

}  // namespace
