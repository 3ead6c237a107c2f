// bookmarks: lists the bookmarks of a recording, adds one or deletes one. Changes
// rewrite "meta" atomically (a new file renamed over the old) while this program holds
// the recording's folder, so a running application that has the recording open (or
// records into it) refuses them instead of losing its own or our change.

#include "Command.h"

#include "QVxCore/AnalogSession.h"
#include "QVxCore/Archive.h"
#include "QVxCore/Bookmarks.h"
#include "QVxCore/Recovery/FolderLock.h"
#include "QVxCore/ReportData/ReportData.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <charconv>
#include <climits>
#include <iostream>

namespace fs = std::filesystem;

namespace {

// The report folder of PATH: a settings file's "repo", a session folder's "repo", or
// PATH itself (a report folder).
fs::path ReportFolderOf(const fs::path& path) {
    std::error_code ec;
    if (fs::is_regular_file(path, ec)) {
        const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
        return folder / qvx::AnalogSession::kReportFolderName;
    }
    if (fs::is_directory(path / qvx::AnalogSession::kReportFolderName, ec))
        return path / qvx::AnalogSession::kReportFolderName;
    return path;
}

std::optional<std::int64_t> ParseInteger(const std::string& text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

nlohmann::ordered_json ToJson(const qvx::AnalogBookmark& b) {
    return {{"id", b.id},     {"timeNSec", b.timeNSec},    {"name", b.name},
            {"note", b.note}, {"color", b.color.ToText()}, {"visible", b.visible}};
}

void PrintList(const qvx::AnalogBookmarkList& list, bool json) {
    if (json) {
        nlohmann::ordered_json items = nlohmann::ordered_json::array();
        for (const auto& b : list) items.push_back(ToJson(b));
        // Names and notes are the user's UTF-8 text; anything else is replaced, not refused.
        std::cout << nlohmann::ordered_json{{"bookmarks", items}}.dump(
                         -1, ' ', false, nlohmann::json::error_handler_t::replace)
                  << "\n";
        return;
    }
    if (list.empty()) {
        std::cout << "no bookmarks\n";
        return;
    }
    for (const auto& b : list) {
        std::cout << fmt::format("{}\t{} ns\t{}\t{}{}\n", b.id, b.timeNSec, b.name, b.note,
                                 b.visible ? "" : "\t(hidden)");
    }
}

// The "meta" of `repo` as it is: hits and bookmarks. False (with `error`) when it exists
// but cannot be read whole: rewriting it would lose what did not load.
bool LoadMeta(const fs::path& repo, qvx::AnalogDisplayTriggerList& hits, qvx::AnalogBookmarkList& bookmarks,
              std::string& error) {
    const fs::path meta = repo / qvx::AnalogSession::kMetadataFileName;
    std::error_code ec;
    if (!fs::exists(meta, ec)) return true;
    std::vector<std::string> problems;
    if (!qvx::Archive::Load(hits, meta) || !qvx::Archive::LoadBookmarks(bookmarks, meta, &problems)) {
        error = meta.string() + " cannot be read; it is left as it is";
        return false;
    }
    if (!problems.empty()) {
        error = meta.string() + " has bookmarks that do not load (" + problems.front() +
                "); mend them first, the file is left as it is";
        return false;
    }
    return true;
}

// --add and --delete: under the recording folder's lock, the whole "meta" is read,
// changed and written anew.
int Change(qvanalog::Args& args, const fs::path& repo) {
    const fs::path recordingFolder = repo.parent_path().empty() ? fs::path(".") : repo.parent_path();
    qvx::FolderLock lock;
    if (!lock.TryLock(recordingFolder))
        return qvanalog::Fail(recordingFolder.string() +
                              " is held by another program (an application that has the recording open "
                              "or records into it); the bookmarks are not changed");
    qvx::AnalogDisplayTriggerList hits;
    qvx::AnalogBookmarkList bookmarks;
    std::string error;
    if (!LoadMeta(repo, hits, bookmarks, error)) return qvanalog::Fail(error);

    if (const auto idText = args.Option("--delete")) {
        const auto id = ParseInteger(*idText);
        if (!id || *id < 1 || *id > INT32_MAX ||
            !qvx::FindBookmark(bookmarks, static_cast<std::int32_t>(*id)))
            return qvanalog::Fail("no bookmark has the id " + *idText);
        std::erase_if(bookmarks, [&](const qvx::AnalogBookmark& b) { return b.id == *id; });
    } else {
        const auto time = ParseInteger(*args.Option("--add"));
        if (!time) return qvanalog::Fail("--add takes a time in ns, not " + *args.Option("--add"));
        const auto reader = qvx::ReportDataReader::Open(repo, nullptr);
        if (!reader) return qvanalog::Fail("no recording in " + repo.string());
        const auto lastTime = static_cast<std::int64_t>(reader->GetLastTime()) * 10;  // 10 ns ticks
        if (auto problem = qvx::CheckBookmarkTime(*time, lastTime)) return qvanalog::Fail(*problem);
        const std::string name = args.Option("--name").value_or("");
        const std::string note = args.Option("--note").value_or("");
        if (auto problem = qvx::CheckBookmarkText(name, "name")) return qvanalog::Fail(*problem);
        if (auto problem = qvx::CheckBookmarkText(note, "note")) return qvanalog::Fail(*problem);
        if (bookmarks.size() >= qvx::kMaxBookmarks)
            return qvanalog::Fail(fmt::format("a recording keeps at most {} bookmarks", qvx::kMaxBookmarks));
        qvx::AnalogBookmark b;
        b.id = qvx::NextBookmarkId(bookmarks);
        b.timeNSec = *time;
        b.name = name.empty() ? qvx::DefaultBookmarkName(b.id) : name;
        b.note = note;
        bookmarks.push_back(b);
        std::cout << b.id << "\n";
    }
    if (!qvx::Archive::SaveMetadata(hits, bookmarks, repo / qvx::AnalogSession::kMetadataFileName))
        return qvanalog::Fail("cannot write " + (repo / qvx::AnalogSession::kMetadataFileName).string());
    return 0;
}

int RunBookmarks(qvanalog::Args& args) {
    args.DeclareValueOptions({"--add", "--name", "--note", "--delete"});
    const auto positionals = args.Positionals();
    if (positionals.size() != 1) return qvanalog::Fail("expected one REPO_FOLDER|SESSION.qvxa argument");
    const bool adding = args.Option("--add").has_value();
    const bool deleting = args.Option("--delete").has_value();
    if (adding && deleting) return qvanalog::Fail("--add and --delete cannot be given together");
    if (!adding && (args.Option("--name") || args.Option("--note")))
        return qvanalog::Fail("--name and --note go with --add");
    const fs::path repo = ReportFolderOf(positionals.front());
    std::error_code ec;
    if (!fs::is_directory(repo, ec)) return qvanalog::Fail("no report folder " + repo.string());
    if (adding || deleting) return Change(args, repo);

    qvx::AnalogBookmarkList bookmarks;
    const fs::path meta = repo / qvx::AnalogSession::kMetadataFileName;
    // Entries that do not load are named on stderr by the archive's warnings.
    if (fs::exists(meta, ec) && !qvx::Archive::LoadBookmarks(bookmarks, meta))
        return qvanalog::Fail("cannot read " + meta.string());
    PrintList(bookmarks, args.Flag("--json"));
    return 0;
}

const qvanalog::Registration s_bookmarks{
    "bookmarks",
    "bookmarks REPO_FOLDER|SESSION.qvxa [--json] | --add NS [--name TEXT] [--note TEXT] | --delete ID",
    &RunBookmarks};

}  // namespace
