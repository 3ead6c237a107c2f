#include "QV+Analog/Pictures/QVxReportContent.h"

#include "QVxCore/AnalogSettings.h"
#include "QVxCore/ReportData/RecordCodec.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportFile.h"

#include <algorithm>

namespace {

// Bytes of the report data files (placeholders of removed files hold none).
std::uint64_t ReportFileBytes(const qvx::ReportDataReader& reader) {
    std::uint64_t bytes = 0;
    for (const auto& file : reader.GetFiles())
        if (file) bytes += file->GetFileSize();
    return bytes;
}

std::vector<QVxReportChannel> Channels(const qvx::AnalogSettings& settings) {
    std::vector<QVxReportChannel> channels;
    const auto& tracks = settings.visualSettings.tracks;
    for (int ch = 0; ch < qvx::AnalogSettings::kChannelCount; ++ch) {
        QVxReportChannel c;
        c.channel = ch;
        c.rangeMilliVolts = settings.GetChannelRangeMilliVolts(ch);
        if (static_cast<std::size_t>(ch) < tracks.size()) {
            const auto& track = tracks[static_cast<std::size_t>(ch)];
            c.name = QString::fromStdWString(track.name);
            c.enabled = track.enabled;
            c.probeFactor = track.probeAttenuationRatio == 1 ? 10 : 1;
        }
        if (c.name.isEmpty()) c.name = QStringLiteral("CH%1").arg(ch + 1);
        channels.push_back(c);
    }
    return channels;
}

std::vector<QVxReportHit> ListedHits(qvx::ReportDataReader& reader,
                                     const qvx::AnalogDisplayTriggerList& hits) {
    std::vector<QVxReportHit> listed;
    const std::size_t count = std::min(hits.size(), QVxReportContent::kListedHits);
    listed.reserve(count);
    const auto timeWord = static_cast<std::size_t>(reader.GetTimeWordIndex());
    for (std::size_t i = 0; i < count; ++i) {
        QVxReportHit hit;
        hit.number = i + 1;
        hit.dataIndex = hits[i].dataIndex;
        hit.widthNs = hits[i].widthNSec;
        if (hits[i].dataIndex >= 0) {
            if (const std::uint8_t* record =
                    reader.ReadRecordByIndex(static_cast<std::uint64_t>(hits[i].dataIndex)))
                hit.timeNs = qvx::RecordTimeNs(record, timeWord);
        }
        listed.push_back(hit);
    }
    return listed;
}

}  // namespace

QVxReportContent QVxGatherReportContent(const QVxReportSource& source) {
    QVxReportContent content;
    qvx::ReportDataReader& reader = *source.reader;
    const qvx::AnalogSettings& settings = *source.settings;
    content.sessionName = source.sessionName;
    content.sessionPath = QString::fromStdString(source.sessionPath.string());
    content.startTimeNs = reader.GetStartTimeNs();
    content.lengthNs = qvx::TicksToNs(std::min(reader.GetLastTime(), qvx::kMaxTicksInNs));
    content.records = reader.GetTotalRecordCount();
    content.bytes = ReportFileBytes(reader);
    content.samplingHz = settings.GetSamplingFrequency();
    content.channels = Channels(settings);
    content.spanFromMarkers = source.spanFromMarkers;
    content.measurement =
        qvx::analog::MeasureSpan(reader, source.overview, settings, source.fromNs, source.toNs);
    if (source.hits) {
        content.hitCount = source.hits->size();
        content.hits = ListedHits(reader, *source.hits);
    }
    return content;
}

QVxReportSpan QVxChooseReportSpan(const qvx::AnalogSettings& settings, std::int64_t viewBeginNs,
                                  std::int64_t viewEndNs) {
    const auto& markers = settings.visualSettings.markers;
    if (markers[0].enabled && markers[1].enabled)
        return {std::min(markers[0].time, markers[1].time), std::max(markers[0].time, markers[1].time), true};
    return {viewBeginNs, viewEndNs, false};
}
