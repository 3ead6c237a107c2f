#include "QV+AnalogCore/Analysis/ReportEventSearch.h"

#include "QVxCore/QVxAnalogDisplayTriggerAnalyzer.h"
#include "QVxCore/ReportData/RecordCodec.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportEnvelope.h"

#include <algorithm>
#include <array>
#include <exception>

namespace qvx::analog {

namespace {

using Analyzer = qvx::QVxAnalogDisplayTriggerAnalyzer;

// Where a sample lies against the level. A downward crossing starts on the level, so only
// samples beyond it on one side make a run that no record of a skipped block can change.
enum class Side { kBelow, kOn, kAbove };

Side SideOf(std::uint16_t sample, std::int64_t level) {
    const std::int64_t v = LimitedSample(sample);
    return v > level ? Side::kAbove : v < level ? Side::kBelow : Side::kOn;
}

}  // namespace

std::optional<std::string> ReportEventSearch::CheckSettings(const AnalogSettings& settings) {
    const int channel = settings.displayTriggerSourceChannel;
    if (channel < 0 || channel >= AnalogSettings::kChannelCount) return "the source channel must be 1 to 4";
    const auto& trigger = settings.displayTriggerSettings[static_cast<std::size_t>(channel)];
    if (trigger.slope < Analyzer::kHighEdge || trigger.slope > Analyzer::kLowWidth)
        return "the slope must be rising, falling, high or low";
    if (trigger.widthEdgeComparison != Analyzer::kWithin && trigger.widthEdgeComparison != Analyzer::kOutside)
        return "the width comparison must be within or outside";
    if (trigger.sensitivityCount < 1) return "the sensitivity must be at least 1";
    try {
        (void)Analyzer::MakeRawTriggerLevel(settings, channel, trigger.voltageLevel);
    } catch (const std::exception&) {
        return "the channel's range or probe setting is invalid";
    }
    return std::nullopt;
}

ReportEventSearch::ReportEventSearch(ReportDataReader& reader, ReportOverview* overview,
                                     const AnalogSettings& settings)
    : m_reader(reader), m_overview(overview), m_settings(settings) {
    // Every hit is wanted, as in repeat mode.
    m_settings.displayTriggerMode = Analyzer::kModeRepeat;
    m_channel = m_settings.displayTriggerSourceChannel;
    if (!CheckSettings(m_settings)) {
        const auto& trigger = m_settings.displayTriggerSettings[static_cast<std::size_t>(m_channel)];
        m_rawLevel = Analyzer::MakeRawTriggerLevel(m_settings, m_channel, trigger.voltageLevel);
    }
}

ReportEventSearch::Result ReportEventSearch::Run(const Range& range,
                                                 const std::function<bool(const Hit&)>& onHit,
                                                 const Progress& progress) {
    Result result;
    const std::optional<ReportSpan> span = SpanOfTimes(m_reader, m_overview, range.fromNs, range.toNs);
    if (!span) {
        result.status = Status::kReadError;
        return result;
    }
    if (span->first >= span->end) return result;

    Analyzer analyzer;
    analyzer.Reset(&m_settings, nullptr);
    const bool pulse =
        m_settings.displayTriggerSettings[static_cast<std::size_t>(m_channel)].slope >= Analyzer::kHighWidth;
    const auto channel = static_cast<std::size_t>(m_channel);
    std::optional<Side> previousSide;  // of the previous record's sample

    ReportLevelScan scan(m_reader, m_overview, m_channel, m_rawLevel);
    ReportLevelScan::Visitor visitor;
    visitor.canSkip = [&](bool above) {
        const Side side = above ? Side::kAbove : Side::kBelow;
        return analyzer.GetConfirmCounter() == Analyzer::kNone && previousSide.value_or(side) == side;
    };
    visitor.skipped = [&](bool above, std::uint16_t extreme, std::uint64_t lastIndex) {
        // The block's records cross nothing: the analyzer only takes the side of its last
        // sample as the previous sample (no time is looked at without a crossing).
        std::array<std::uint16_t, 4> samples{};
        samples[channel] = extreme;
        analyzer.Analyze(Analyzer::kNone, samples, static_cast<std::int64_t>(lastIndex));
        previousSide = above ? Side::kAbove : Side::kBelow;
    };
    visitor.records = [&](const RecordChunk& chunk) {
        const std::uint64_t firstIndex = chunk.firstIndex;
        for (std::uint64_t r = 0; r < chunk.count; ++r) {
            const std::uint8_t* record = chunk.records + r * kReportRecordSize;
            const std::array<std::uint16_t, 4> samples{RecordRawSample(record, 0), RecordRawSample(record, 1),
                                                       RecordRawSample(record, 2),
                                                       RecordRawSample(record, 3)};
            const auto index = static_cast<std::int64_t>(firstIndex + r);
            const std::int64_t t = RecordTimeNs(record, chunk.timeWord);
            if (!analyzer.Analyze(t, samples, index)) continue;
            const std::int64_t width = pulse ? t - analyzer.GetPulseStart() : 0;
            analyzer.AcceptHit(t, index);
            if (!onHit(Hit{firstIndex + r, t, width})) return false;
        }
        previousSide = SideOf(RecordRawSample(chunk.records + (chunk.count - 1) * kReportRecordSize, channel),
                              m_rawLevel);
        return true;
    };
    if (progress) visitor.progress = progress;

    switch (scan.Walk(*span, visitor)) {
        case ReportLevelScan::Outcome::kDone:
        case ReportLevelScan::Outcome::kStopped:
            break;
        case ReportLevelScan::Outcome::kCancelled:
            result.status = Status::kCancelled;
            break;
        case ReportLevelScan::Outcome::kReadError:
            result.status = Status::kReadError;
            break;
    }
    result.recordsRead = scan.GetRecordsRead();
    result.recordsSkipped = scan.GetRecordsSkipped();
    return result;
}

ReportEventSearch::Result ReportEventSearch::FindAll(const Range& range, std::size_t maxHits,
                                                     const Progress& progress, bool countBeyondLimit) {
    std::vector<Hit> hits;
    bool limitReached = false;
    std::uint64_t found = 0;
    Result result = Run(
        range,
        [&](const Hit& hit) {
            if (hits.size() >= maxHits) {
                limitReached = true;
                if (!countBeyondLimit) return false;
                ++found;
                return true;
            }
            ++found;
            hits.push_back(hit);
            return true;
        },
        progress);
    result.hits = std::move(hits);
    result.limitReached = limitReached;
    result.hitCount = found;
    return result;
}

ReportEventSearch::Result ReportEventSearch::FindNext(const Range& range, std::int64_t afterNs,
                                                      const Progress& progress) {
    std::optional<Hit> found;
    Result result = Run(
        range,
        [&](const Hit& hit) {
            if (hit.timeNs <= afterNs) return true;
            found = hit;
            return false;
        },
        progress);
    if (found) result.hits.push_back(*found);
    return result;
}

ReportEventSearch::Result ReportEventSearch::FindPrevious(const Range& range, std::int64_t beforeNs,
                                                          const Progress& progress) {
    std::optional<Hit> found;
    const Range upTo{range.fromNs, std::min(range.toNs, beforeNs)};
    Result result = Run(
        upTo,
        [&](const Hit& hit) {
            found = hit;
            return true;
        },
        progress);
    if (found) result.hits.push_back(*found);
    return result;
}

}  // namespace qvx::analog
