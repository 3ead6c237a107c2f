// envelope: per-column minimum and maximum of a report over a time window, exact to the
// record, through the overview and the folding code the waveform view uses.

#include "Command.h"
#include "OverviewSupport.h"
#include "SessionSupport.h"

#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportEnvelope.h"
#include "QVxCore/ReportData/ReportOverview.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <iostream>
#include <optional>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kMaxColumns = 100'000;

nlohmann::ordered_json OrNull(bool empty, std::uint64_t value) {
    return empty ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(value);
}

void PrintJson(std::int64_t from, std::int64_t to, const std::vector<qvx::envelope::Column>& cols) {
    // Members are filled as whole arrays: references into an ordered_json do not survive
    // the insertion of the next member.
    nlohmann::ordered_json first = nlohmann::ordered_json::array(), last = nlohmann::ordered_json::array();
    for (const auto& col : cols) {
        first.push_back(OrNull(col.empty, col.first));
        last.push_back(OrNull(col.empty, col.last));
    }
    nlohmann::ordered_json channels = nlohmann::ordered_json::array();
    for (std::size_t ch = 0; ch < qvx::kRecordChannelCount; ++ch) {
        nlohmann::ordered_json mins = nlohmann::ordered_json::array(), maxs = nlohmann::ordered_json::array();
        for (const auto& col : cols) {
            mins.push_back(OrNull(col.empty, col.stats.min[ch]));
            maxs.push_back(OrNull(col.empty, col.stats.max[ch]));
        }
        channels.push_back({{"min", std::move(mins)}, {"max", std::move(maxs)}});
    }
    nlohmann::ordered_json out;
    out["columns"] = cols.size();
    out["from"] = from;
    out["to"] = to;
    out["first"] = std::move(first);
    out["last"] = std::move(last);
    out["channels"] = std::move(channels);
    std::cout << out.dump() << "\n";
}

void PrintText(const std::vector<std::int64_t>& starts, const std::vector<qvx::envelope::Column>& cols) {
    std::cout << "column from_ns first last CH1min CH1max CH2min CH2max CH3min CH3max CH4min CH4max\n";
    for (std::size_t c = 0; c < cols.size(); ++c) {
        const auto& col = cols[c];
        if (col.empty) {
            std::cout << fmt::format("{} {} - -\n", c, starts[c]);
            continue;
        }
        std::cout << fmt::format("{} {} {} {}", c, starts[c], col.first, col.last);
        for (std::size_t ch = 0; ch < qvx::kRecordChannelCount; ++ch) {
            std::cout << fmt::format(" {} {}", col.stats.min[ch], col.stats.max[ch]);
        }
        std::cout << "\n";
    }
}

int RunEnvelope(qvanalog::Args& args) {
    args.DeclareValueOptions({"--from", "--to", "--columns"});
    const std::vector<std::string> positionals = args.Positionals();
    if (positionals.size() != 1)
        return qvanalog::Fail("expected one PATH argument (report folder or session file)");
    using qvanalog::ParseSigned;
    const auto from = ParseSigned(args.Option("--from"));
    const auto to = ParseSigned(args.Option("--to"));
    const auto columns = ParseSigned(args.Option("--columns"));
    if (!from || !to) return qvanalog::Fail("--from and --to need whole numbers of ns");
    if (*from >= *to) return qvanalog::Fail("--from must be less than --to");
    if (!columns || *columns < 1 || static_cast<std::uint64_t>(*columns) > kMaxColumns) {
        return qvanalog::Fail("--columns needs a whole number from 1 to 100000");
    }

    qvanalog::OpenedReport opened;
    if (!qvanalog::OpenReportOrSession(fs::path(positionals.front()), opened))
        return qvanalog::Fail(opened.error);
    qvx::ReportDataReader& reader = *opened.reader;

    const std::vector<std::int64_t> starts =
        qvx::envelope::ColumnStarts(*from, *to, static_cast<std::uint32_t>(*columns));
    std::vector<std::uint64_t> boundaries(starts.size());
    for (std::size_t c = 0; c < starts.size(); ++c) boundaries[c] = qvx::TicksAtOrAfterNs(starts[c]);

    std::vector<qvx::envelope::Column> cols;
    const bool folded = qvanalog::RunWithOverview(reader, [&](qvx::ReportOverview* overview) {
        return qvx::envelope::FoldExact(reader, overview, boundaries, cols);
    });
    if (!folded) return qvanalog::Fail("the report could not be read");
    if (args.Flag("--json")) {
        PrintJson(*from, *to, cols);
    } else {
        PrintText(starts, cols);
    }
    return 0;
}

const qvanalog::Registration kEnvelope{
    "envelope", "envelope PATH --from NS --to NS --columns N [--json]  # per-column min/max", &RunEnvelope};

}  // namespace
