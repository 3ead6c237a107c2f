#include "QV+AnalogCore/Export/QVxAnalogHdf5RowSink.h"

#include "QVxCore/AnalogSession.h"
#include "QVxCore/Presenters/WaveformTrackPresenter.h"
#include "QVxCore/ReportData/RecordCodec.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/Utils.h"

namespace {

// A channel's description: volts = code x 2F / 16383 - F with F its full-scale amplitude in
// V, which reproduces the normalised value times F that the value texts are made from.
QVxAnalogHdf5Channel MakeChannel(const qvx::AnalogSettings& settings, int channel) {
    const auto c = static_cast<std::size_t>(channel);
    const auto& tracks = settings.visualSettings.tracks;
    const qvx::WaveformTrackVisualSettings track =
        c < tracks.size() ? tracks[c] : qvx::WaveformTrackVisualSettings{};
    QVxAnalogHdf5Channel out;
    out.name = qvx::WideToUtf8(track.name);
    out.rangeIndex = settings.channelVoltages[c];
    out.probeFactor = track.probeAttenuationRatio == 0 ? 1 : 10;
    out.rangeMilliVolts = settings.GetChannelRangeMilliVolts(channel);
    const double fullScaleVolts = out.rangeMilliVolts / 1000.0;
    out.scaleFactor = qvx::VoltsPerCode(fullScaleVolts);
    out.addOffset = -fullScaleVolts;
    out.enabled = track.enabled;
    return out;
}

// The saved settings file the data belongs to, absolute. A recording not saved yet (this
// run's trace or a recovered one) has no lasting place: its folder moves when it is saved.
std::string SourceSessionText(const qvx::AnalogSession& session) {
    if (session.IsFreshRecording() || session.GetSettingFilePath().empty()) return "unsaved";
    std::error_code ec;
    return std::filesystem::absolute(session.GetSettingFilePath(), ec).lexically_normal().string();
}

}  // namespace

QVxAnalogHdf5Header QVxAnalogHdf5RowSink::MakeHeader(const qvx::AnalogSession& session,
                                                     const qvx::ReportDataReader& reader,
                                                     std::uint64_t firstIndex, std::uint64_t recordCount) {
    QVxAnalogHdf5Header header;
    header.recordCount = recordCount;
    header.firstRecordIndex = firstIndex;
    header.startTimeNs = reader.GetStartTimeNs();
    header.samplingFrequency = session.GetSettings().GetSamplingFrequency();
    header.program = "QV+Analog";
    header.programVersion = QVX_EXPORT_PROGRAM_VERSION;
    header.sourceSession = SourceSessionText(session);
    for (int c = 0; c < qvx::AnalogSettings::kChannelCount; ++c)
        header.channels[static_cast<std::size_t>(c)] = MakeChannel(session.GetSettings(), c);
    return header;
}

bool QVxAnalogHdf5RowSink::Open(const std::filesystem::path& path, const QVxAnalogHdf5Header& header,
                                const QVxAnalogHdf5Layout& layout, std::int32_t timeWordIndex,
                                std::string& error) {
    if (!m_writer.Create(path, header, layout)) {
        error = m_writer.GetError();
        return false;
    }
    m_columns = std::make_unique<QVxAnalogHdf5Columns>(m_writer, m_writer.GetChunkRecords(),
                                                       layout.deflateLevel, timeWordIndex);
    return true;
}

bool QVxAnalogHdf5RowSink::Consume(const qvx::analog::RecordChunk& chunk) {
    return m_columns->Add(chunk.records, chunk.count);
}

bool QVxAnalogHdf5RowSink::Finish(std::string& error) {
    if (!m_columns->Finish() || !m_writer.Finish()) {
        error = m_writer.GetError();
        return false;
    }
    return true;
}
