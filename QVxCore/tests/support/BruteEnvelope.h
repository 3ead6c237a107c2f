#pragma once
// Test support: the per-column envelope of a generated report computed straight from the
// definition, one record at a time, for comparison with the folding code.

#include "QVxCore/ReportData/ReportEnvelope.h"
#include "QVxCore/tests/support/ReportBuilder.h"

#include <utility>
#include <vector>

namespace qvx::test {

// `ranges`: the [first, end) global index ranges of the records the report holds.
inline std::vector<envelope::Column> BruteEnvelope(
    const ReportBuilder& report, const std::vector<std::pair<std::uint64_t, std::uint64_t>>& ranges,
    std::int64_t from, std::int64_t to, std::int64_t columns) {
    std::vector<envelope::Column> out(static_cast<std::size_t>(columns));
    for (const auto& [first, end] : ranges) {
        for (std::uint64_t i = first; i < end; ++i) {
            const __int128 t = static_cast<__int128>(report.TimeAt(i)) * 10;
            if (t < from || t >= to) continue;
            const auto c =
                static_cast<std::size_t>((t - from) * columns / (static_cast<__int128>(to) - from));
            envelope::Column& col = out[c];
            if (col.empty) col.first = i;
            col.empty = false;
            col.last = i;
            const Record r = report.RecordAt(i);
            overview::FoldRecordSamples(r.data(), 1, col.stats);
        }
    }
    return out;
}

// Compares the fields the exact folding fills; gives the first differing column or -1.
inline std::int64_t FirstDifference(const std::vector<envelope::Column>& a,
                                    const std::vector<envelope::Column>& b) {
    if (a.size() != b.size()) return 0;
    for (std::size_t c = 0; c < a.size(); ++c) {
        if (a[c].empty != b[c].empty) return static_cast<std::int64_t>(c);
        if (a[c].empty) continue;
        if (a[c].first != b[c].first || a[c].last != b[c].last || !(a[c].stats == b[c].stats)) {
            return static_cast<std::int64_t>(c);
        }
    }
    return -1;
}

}  // namespace qvx::test
