#pragma once
// What a PDF report of a stored recording says, gathered once before it is written: the
// session, the recording's figures, the channels, the measurement of a span and the
// display-trigger hits. Gathered on the thread that owns the reader and the overview
// (the GUI thread in the program, the main thread in qvanalog).

#include "QV+AnalogCore/Analysis/ReportSpanMeasurement.h"
#include "QVxCore/DisplayTriggerList.h"

#include <QString>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace qvx {
class AnalogSettings;
class ReportDataReader;
class ReportOverview;
}  // namespace qvx

struct QVxReportChannel {
    int channel = 0;  // 0 to 3
    QString name;
    std::int32_t rangeMilliVolts = 0;  // full scale with the probe
    int probeFactor = 1;               // 1 or 10
    bool enabled = true;
};

struct QVxReportHit {
    std::uint64_t number = 0;            // from 1
    std::int64_t dataIndex = 0;          // record index
    std::optional<std::int64_t> timeNs;  // none when the record cannot be read
    std::int64_t widthNs = 0;            // 0 for an edge hit
};

struct QVxReportContent {
    static constexpr std::size_t kListedHits = 1000;

    QString sessionName;
    QString sessionPath;
    std::int64_t startTimeNs = 0;  // ns since 1970 (UTC)
    std::int64_t lengthNs = 0;
    std::uint64_t records = 0;
    std::uint64_t bytes = 0;  // of the report data files
    std::int32_t samplingHz = 0;
    std::vector<QVxReportChannel> channels;
    bool spanFromMarkers = false;  // M1 to M2, else the visible window
    qvx::analog::SpanMeasurement measurement;
    std::uint64_t hitCount = 0;
    std::vector<QVxReportHit> hits;  // the first kListedHits
};

// Where the report's figures come from. `hits` may be null (no list).
struct QVxReportSource {
    QString sessionName;
    std::filesystem::path sessionPath;
    qvx::ReportDataReader* reader = nullptr;
    qvx::ReportOverview* overview = nullptr;  // may be null: every record is read
    const qvx::AnalogSettings* settings = nullptr;
    const qvx::AnalogDisplayTriggerList* hits = nullptr;
    std::int64_t fromNs = 0;  // the measured span, ns from the start
    std::int64_t toNs = 0;
    bool spanFromMarkers = false;
};

// Gathers the report's content; the measurement's status tells whether it could be read.
QVxReportContent QVxGatherReportContent(const QVxReportSource& source);

// The measured span of a window: M1 to M2 when both are on, else the visible window
// [viewBeginNs, viewEndNs).
struct QVxReportSpan {
    std::int64_t fromNs = 0;
    std::int64_t toNs = 0;
    bool fromMarkers = false;
};
QVxReportSpan QVxChooseReportSpan(const qvx::AnalogSettings& settings, std::int64_t viewBeginNs,
                                  std::int64_t viewEndNs);
