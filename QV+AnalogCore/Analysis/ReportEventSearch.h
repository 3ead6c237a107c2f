#pragma once
// Display-trigger events in a stored report: the records a trace's display trigger would
// have listed, found with the same analyzer and rules (confirm counter, edge rule, pulse
// widths), for the trigger settings of an AnalogSettings (source channel, slope, level,
// sensitivity, width and within/outside; the mode is taken as repeat, so every hit counts).
//
// A search covers the records whose time t (ns = time stamp x 10) satisfies from <= t < to;
// the analyzer starts afresh at the first of them, as a trace starting there would. Overview
// blocks whose source-channel samples all lie strictly on one side of the level are skipped
// when the analyzer is in a state those records could not change (no crossing being confirmed
// and the previous sample strictly on the same side); an open pulse keeps its start time
// across them, so widths stay exact.
//
// Runs on the calling thread, which must own the reader and the overview; the progress
// call-back runs there too.

#include "QV+AnalogCore/Analysis/ReportLevelScan.h"
#include "QVxCore/AnalogSettings.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace qvx {
class ReportDataReader;
class ReportOverview;
}  // namespace qvx

namespace qvx::analog {

class ReportEventSearch {
public:
    struct Hit {
        std::uint64_t index = 0;   // global index of the record that completed the hit
        std::int64_t timeNs = 0;   // that record's time
        std::int64_t widthNs = 0;  // pulse width for the pulse slopes, 0 for edges

        friend bool operator==(const Hit&, const Hit&) = default;
    };

    // Records with fromNs <= t < toNs.
    struct Range {
        std::int64_t fromNs = 0;
        std::int64_t toNs = std::numeric_limits<std::int64_t>::max();
    };

    enum class Status { kDone, kCancelled, kReadError };

    struct Result {
        Status status = Status::kDone;
        std::vector<Hit> hits;
        bool limitReached = false;  // FindAll found more hits than its limit lists
        // Hits FindAll found: those listed, and those beyond the limit when it counted them.
        std::uint64_t hitCount = 0;
        std::uint64_t recordsRead = 0;
        std::uint64_t recordsSkipped = 0;  // in overview blocks that could hold no hit
    };

    // (records read or skipped, records of the range); false cancels.
    using Progress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

    // Why `settings` cannot be searched with (source channel, slope, comparison,
    // sensitivity, range or probe out of bounds); none when they can.
    static std::optional<std::string> CheckSettings(const AnalogSettings& settings);

    // `settings` (checked with CheckSettings) is copied; `overview` may be null (every
    // record is then read).
    ReportEventSearch(ReportDataReader& reader, ReportOverview* overview, const AnalogSettings& settings);

    // Every hit of `range` in order, at most `maxHits` (then limitReached). The search ends
    // at the limit unless `countBeyondLimit`: it then goes on to the end of the range and
    // counts the later hits in hitCount without listing them.
    Result FindAll(const Range& range, std::size_t maxHits, const Progress& progress = {},
                   bool countBeyondLimit = false);
    // The first hit after `afterNs` (t > afterNs), in `hits` when there is one.
    Result FindNext(const Range& range, std::int64_t afterNs, const Progress& progress = {});
    // The last hit before `beforeNs` (t < beforeNs), in `hits` when there is one. The
    // analysis still starts at the range's first record.
    Result FindPrevious(const Range& range, std::int64_t beforeNs, const Progress& progress = {});

    // The raw level the source channel's samples are compared with.
    std::int64_t GetRawLevel() const { return m_rawLevel; }

private:
    // Feeds the records of `range` to a fresh analyzer; `onHit` returns false to stop.
    Result Run(const Range& range, const std::function<bool(const Hit&)>& onHit, const Progress& progress);

    ReportDataReader& m_reader;
    ReportOverview* m_overview;
    AnalogSettings m_settings;
    int m_channel = 0;
    std::int64_t m_rawLevel = 0;
};

}  // namespace qvx::analog
