#include "OverviewSupport.h"

#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportOverview.h"
#include "QVxCore/ReportData/ReportOverviewIndexer.h"

#include <fmt/format.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <vector>

namespace fs = std::filesystem;

namespace qvanalog {

namespace {

// Builds the missing overviews, with a progress line on stderr when it is a terminal.
void IndexFiles(const std::vector<fs::path>& files) {
    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    const auto started = std::chrono::steady_clock::now();
    auto lastDrawn = started - std::chrono::seconds(1);
    qvx::ReportOverviewIndexer::BuildAll(files, [&](const qvx::ReportOverviewIndexer::Progress& p) {
        const auto now = std::chrono::steady_clock::now();
        if (!terminal || (now - lastDrawn < std::chrono::milliseconds(200) && p.filesDone < p.filesTotal))
            return true;
        lastDrawn = now;
        const double seconds = std::chrono::duration<double>(now - started).count();
        std::cerr << fmt::format("\rindexing file {}/{}  {:.0f}/{:.0f} MiB  {:.0f} MB/s   ",
                                 std::min(p.filesDone + 1, p.filesTotal), p.filesTotal,
                                 p.bytesDone / 1048576.0, p.bytesTotal / 1048576.0,
                                 seconds > 0 ? p.bytesDone / 1e6 / seconds : 0.0)
                  << std::flush;
        return true;
    });
    if (terminal) std::cerr << "\n";
}

}  // namespace

std::optional<std::int64_t> ParseSigned(const std::optional<std::string>& text) {
    if (!text || text->empty()) return std::nullopt;
    std::int64_t value = 0;
    const char* end = text->data() + text->size();
    auto [ptr, ec] = std::from_chars(text->data(), end, value);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

std::shared_ptr<qvx::ReportOverview> OverviewFor(const qvx::ReportDataReader& reader) {
    std::vector<fs::path> needed;
    if (auto overview = qvx::ReportOverview::Open(reader, &needed)) return overview;
    IndexFiles(needed);
    return qvx::ReportOverview::Open(reader);
}

bool RunWithOverview(const qvx::ReportDataReader& reader,
                     const std::function<bool(qvx::ReportOverview*)>& work) {
    std::shared_ptr<qvx::ReportOverview> overview = OverviewFor(reader);
    if (work(overview.get())) return true;
    // A damaged overview found on the way is rebuilt once; a read error stays fatal.
    if (!overview || !overview->IsDamaged()) return false;
    IndexFiles(overview->GetDamagedFiles());
    overview = qvx::ReportOverview::Open(reader);
    return work(overview.get());
}

}  // namespace qvanalog
