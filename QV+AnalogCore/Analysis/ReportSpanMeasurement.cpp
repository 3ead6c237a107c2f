#include "QV+AnalogCore/Analysis/ReportSpanMeasurement.h"

#include "QV+AnalogCore/Analysis/ReportLevelScan.h"
#include "QVxCore/ReportData/RecordCodec.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportEnvelope.h"

#include <cmath>

namespace qvx::analog {

namespace {

struct Crossings {
    std::uint64_t count = 0;
    std::int64_t firstNs = 0;
    std::int64_t lastNs = 0;
};

const WaveformTrackVisualSettings& TrackOf(const AnalogSettings& settings, int channel) {
    static const WaveformTrackVisualSettings kDefault;
    const auto c = static_cast<std::size_t>(channel);
    return c < settings.visualSettings.tracks.size() ? settings.visualSettings.tracks[c] : kDefault;
}

// Rising crossings of `level` (p <= level < v) on `channel` in the records of `span`.
ReportLevelScan::Outcome ScanCrossings(ReportLevelScan& scan, int channel, std::int64_t level,
                                       const ReportSpan& span, Crossings& out, const WalkProgress& progress) {
    std::optional<bool> previousAbove;
    ReportLevelScan::Visitor visitor;
    visitor.canSkip = [&](bool above) { return previousAbove.value_or(above) == above; };
    visitor.skipped = [&](bool above, std::uint16_t, std::uint64_t) { previousAbove = above; };
    visitor.records = [&](const RecordChunk& chunk) {
        for (std::uint64_t r = 0; r < chunk.count; ++r) {
            const std::uint8_t* record = chunk.records + r * kReportRecordSize;
            const std::int64_t v = LimitedSample(RecordRawSample(record, static_cast<std::size_t>(channel)));
            const bool above = v > level;
            if (above && previousAbove == false) {
                const std::int64_t t = RecordTimeNs(record, chunk.timeWord);
                if (out.count++ == 0) out.firstNs = t;
                out.lastNs = t;
            }
            previousAbove = above;
        }
        return true;
    };
    visitor.progress = progress;
    return scan.Walk(span, visitor);
}

ChannelMeasurement Summarise(const AnalogSettings& settings, int channel, std::uint64_t records,
                             const overview::BlockStats& stats) {
    const auto c = static_cast<std::size_t>(channel);
    ChannelMeasurement m;
    m.channel = channel;
    m.records = records;
    m.min = RawCodeToVolts(settings, channel, stats.min[c]);
    m.max = RawCodeToVolts(settings, channel, stats.max[c]);
    m.peakToPeak = m.max - m.min;
    // With d = 2 x code - 16383 (so volts = d x F / 16383): sum d = 2 S1 - 16383 n and
    // sum d^2 = 4 S2 - 4 x 16383 S1 + 16383^2 n, exact in 128-bit integers.
    using Wide = __int128;
    const auto n = static_cast<Wide>(records);
    const auto s1 = static_cast<Wide>(stats.sum[c]);
    const auto s2 = static_cast<Wide>(stats.sumOfSquares[c]);
    const Wide codeMax{kRawSampleMax};
    const Wide sumD = 2 * s1 - codeMax * n;
    const Wide sumD2 = 4 * s2 - 4 * codeMax * s1 + codeMax * codeMax * n;
    const double voltsPerD = RawCodeToVolts(settings, channel, kRawSampleMax) / kRawSampleMax;  // F / 16383
    m.mean = static_cast<double>(static_cast<long double>(sumD) / static_cast<long double>(n)) * voltsPerD;
    m.rms = std::sqrt(static_cast<double>(static_cast<long double>(sumD2) / static_cast<long double>(n))) *
            voltsPerD;
    return m;
}

}  // namespace

double RawCodeToVolts(const AnalogSettings& settings, int channel, double code) {
    const double fullScaleVolts = settings.GetChannelRangeMilliVolts(channel) / 1000.0;
    return CodeToVolts(code, fullScaleVolts);
}

SpanMeasurement MeasureSpan(ReportDataReader& reader, ReportOverview* overview,
                            const AnalogSettings& settings, std::int64_t fromNs, std::int64_t toNs,
                            const MeasurementProgress& progress) {
    SpanMeasurement out;
    out.fromNs = fromNs;
    out.toNs = toNs;
    const std::optional<ReportSpan> span = SpanOfTimes(reader, overview, fromNs, toNs);
    if (!span) {
        out.status = SpanMeasurement::Status::kReadError;
        return out;
    }
    if (span->first >= span->end) return out;
    out.records = span->records;

    std::vector<int> enabled;
    for (int ch = 0; ch < AnalogSettings::kChannelCount; ++ch)
        if (TrackOf(settings, ch).enabled) enabled.push_back(ch);
    // One pass per enabled channel for the crossings, and one for the sums without overview.
    const std::uint64_t total = out.records * (enabled.size() + (overview ? 0 : 1));
    std::uint64_t doneBefore = 0;
    const auto status = [](ReportLevelScan::Outcome o) {
        return o == ReportLevelScan::Outcome::kCancelled   ? SpanMeasurement::Status::kCancelled
               : o == ReportLevelScan::Outcome::kReadError ? SpanMeasurement::Status::kReadError
                                                           : SpanMeasurement::Status::kDone;
    };
    WalkProgress scanProgress;
    if (progress)
        scanProgress = [&](std::uint64_t done, std::uint64_t) { return progress(doneBefore + done, total); };

    overview::BlockStats stats;
    if (overview) {
        std::vector<envelope::Column> columns;
        const std::uint64_t boundaries[] = {TicksAtOrAfterNs(fromNs), TicksAtOrAfterNs(toNs)};
        if (!envelope::FoldExact(reader, overview, boundaries, columns)) {
            out.status = SpanMeasurement::Status::kReadError;
            return out;
        }
        stats = columns.front().stats;
    } else {
        // Every record is read: in chunks, so that a cancel is seen.
        ReportLevelScan scan(reader, nullptr, 0, 0);
        ReportLevelScan::Visitor visitor;
        visitor.records = [&](const RecordChunk& chunk) {
            overview::FoldRecordSamples(chunk.records, chunk.count, stats);
            return true;
        };
        visitor.progress = scanProgress;
        out.status = status(scan.Walk(*span, visitor));
        if (out.status != SpanMeasurement::Status::kDone) return out;
        doneBefore = out.records;
    }
    if (stats.empty) return out;

    for (int ch : enabled) {
        ChannelMeasurement m = Summarise(settings, ch, out.records, stats);
        const auto c = static_cast<std::size_t>(ch);
        const std::int64_t midpoint = (std::int64_t{stats.min[c]} + stats.max[c]) / 2;
        ReportLevelScan scan(reader, overview, ch, midpoint);
        Crossings crossings;
        out.status = status(ScanCrossings(scan, ch, midpoint, *span, crossings, scanProgress));
        if (out.status != SpanMeasurement::Status::kDone) return out;
        doneBefore += out.records;
        m.risingCrossings = crossings.count;
        if (crossings.count >= 2 && crossings.lastNs > crossings.firstNs) {
            m.frequencyHz = static_cast<double>(crossings.count - 1) * 1e9 /
                            static_cast<double>(crossings.lastNs - crossings.firstNs);
        }
        out.channels.push_back(m);
    }
    return out;
}

}  // namespace qvx::analog
