#include "QV+AnalogCore/Presenters/QVxAnalogOscilloGraphViewModel.h"

#include "QV+AnalogCore/Presenters/QVxAnalogOverviewLoading.h"
#include "QV+AnalogCore/Presenters/QVxAnalogRecordDecoding.h"
#include "QVxCore/AnalogSettings.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/ReportData/ReportFile.h"
#include "QVxCore/ReportData/ReportFormat.h"
#include "QVxCore/ReportData/ReportOverview.h"
#include "QVxCore/ReportData/ReportOverviewIndexer.h"
#include "QVxCore/TaskDispatcher.h"
#include "QVxCore/Utils.h"

#include <spdlog/spdlog.h>

#include <algorithm>

namespace {

qvx::WaveformVisualSettings* VisualSettingsOf(IQVxAnalogOscilloGraphOwner* owner) {
    qvx::AnalogSettings* settings = owner ? owner->GetSessionSettings() : nullptr;
    return settings ? &settings->visualSettings : nullptr;
}

// The first global record index of the report file after the one that holds `index`.
std::uint64_t NextFileStart(std::uint64_t index) {
    return (index / qvx::kRecordsPerReportFile + 1) * qvx::kRecordsPerReportFile;
}

}  // namespace

QVxAnalogOscilloGraphViewModel::QVxAnalogOscilloGraphViewModel(IQVxAnalogOscilloGraphOwner* owner)
    : qvx::WaveformPresenter(VisualSettingsOf(owner), {}, qvx::WaveformUsage::kAnalog),
      m_owner(owner),
      m_alive(std::make_shared<QVxAnalogOscilloGraphViewModel*>(this)) {
    QVX_VERIFY(owner);
    SetOption(kOptionVerticalDivisions, 1);
    for (std::size_t i = 0; i < TrackCount(); ++i) {
        qvx::WaveformTrackPresenter& track = Track(i);
        track.SetPlacementMode(qvx::waveform::TrackPlacement::kCentred);
        track.SetRange(kRangeLow, kRangeHigh);
    }
    GetStyle().SetThemeIndex(owner && owner->IsDarkLook() ? 1 : 0);
}

QVxAnalogOscilloGraphViewModel::~QVxAnalogOscilloGraphViewModel() = default;

void QVxAnalogOscilloGraphViewModel::SetupForStoredData(std::shared_ptr<qvx::ReportDataReader> reader) {
    QVX_CHECK(reader);
    m_reader = std::move(reader);
    OpenOverview();
    // The last time goes in first, so that the first load already files the
    // records of the whole window (lastTime limits which columns take points).
    UpdateLastTime(qvx::TicksToNs(m_reader->GetLastTime()));
    qvx::WaveformPresenter::SetupForStoredData();
}

void QVxAnalogOscilloGraphViewModel::OpenOverview() {
    m_indexer.reset();
    std::vector<std::filesystem::path> needed;
    m_overview = qvx::ReportOverview::Open(*m_reader, &needed);
    if (!m_overview && !needed.empty() && m_backgroundIndexing) StartIndexing(std::move(needed));
}

void QVxAnalogOscilloGraphViewModel::StartIndexing(std::vector<std::filesystem::path> files) {
    IndexingProgress.Emit(0, 1);
    std::weak_ptr<QVxAnalogOscilloGraphViewModel*> alive = m_alive;
    // Indexing thread: progress is posted at most once per percent.
    auto lastPercent = std::make_shared<std::uint64_t>(101);
    auto progress = [alive, lastPercent](const qvx::ReportOverviewIndexer::Progress& p) {
        const std::uint64_t percent = p.bytesTotal ? p.bytesDone * 100 / p.bytesTotal : 0;
        if (percent == *lastPercent) return true;
        *lastPercent = percent;
        qvx::Dispatcher::PostToMain([alive, done = p.bytesDone, total = p.bytesTotal] {
            if (auto self = alive.lock()) (*self)->IndexingProgress.Emit(done, total);
        });
        return true;
    };
    auto finished = [alive](bool complete) {
        qvx::Dispatcher::PostToMain([alive, complete] {
            if (auto self = alive.lock()) (*self)->OnIndexingFinished(complete);
        });
    };
    m_indexer = std::make_unique<qvx::ReportOverviewIndexer>(std::move(files), progress, finished);
}

// GUI thread.
void QVxAnalogOscilloGraphViewModel::OnIndexingFinished(bool complete) {
    m_indexer.reset();  // the worker has nothing left to do but return
    IndexingProgress.Emit(0, 0);
    if (!complete || !m_reader) return;
    m_overview = qvx::ReportOverview::Open(*m_reader);
    // Reload the whole window from the overview.
    if (m_overview && IsStoredData()) qvx::WaveformPresenter::SetupForStoredData();
}

bool QVxAnalogOscilloGraphViewModel::LoadWithOverview(std::int64_t beginTime, std::int64_t endTime) {
    WriteBatch batch(*this);
    qvx::analog::OverviewLoadStats stats;
    const auto result =
        qvx::analog::LoadWithOverview(batch.RenderData(), *m_reader, *m_overview, beginTime, endTime, stats);
    m_decodedRecordCount += stats.decodedRecords;
    if (result != qvx::analog::OverviewLoadResult::kOverviewDamaged) return true;
    // Never shown as data: load as without an overview and rebuild the damaged files.
    std::vector<std::filesystem::path> damaged = m_overview->GetDamagedFiles();
    m_overview.reset();
    if (m_backgroundIndexing) StartIndexing(std::move(damaged));
    return false;
}

std::int64_t QVxAnalogOscilloGraphViewModel::CurrentLoadStride() const {
    const qvx::AnalogSettings* settings = m_owner ? m_owner->GetSessionSettings() : nullptr;
    if (!settings) return 1;
    const qvx::WaveformScalingList& list = GetScalingList();
    const std::size_t index = list.FindIndex(GetVisualSettings()->timeScale);
    if (index >= list.Size()) return 1;
    if (!QVX_VERIFY(settings->samplingFrequency >= 0 && settings->samplingFrequency <= 2)) return 1;
    return qvx::analog::LoadStride(list[index].stride, settings->samplingFrequency);
}

void QVxAnalogOscilloGraphViewModel::DecodeAndAddData(qvx::WaveformRenderData& renderData,
                                                      const std::uint8_t* record) {
    QVX_CHECK(record);
    const qvx::analog::DecodedRecord d =
        qvx::analog::DecodeRecord(record, m_reader ? m_reader->GetTimeWordIndex() : 0);
    renderData.AddPoints(d.time, d.values);
    ++m_decodedRecordCount;
}

void QVxAnalogOscilloGraphViewModel::OnLoadData(std::int64_t beginTime, std::int64_t endTime) {
    if (!m_reader || m_reader->GetTotalRecordCount() == 0) return;
    const auto& files = m_reader->GetFiles();
    const auto first = static_cast<std::size_t>(m_reader->GetFirstFileIndex());
    if (first >= files.size() || !files[first]) return;

    const std::int64_t b = beginTime / qvx::kNanosecondsPerTick;
    const std::int64_t e = endTime / qvx::kNanosecondsPerTick;
    const std::int64_t start = std::max(b, static_cast<std::int64_t>(files[first]->GetStartTime()));
    const std::int64_t end = std::min(e, static_cast<std::int64_t>(m_reader->GetLastTime()));
    if (e < start || end < b) return;
    if (m_overview && IsStoredData() && LoadWithOverview(beginTime, endTime)) return;

    // Ad-hoc data: exclusive lock and the queued viewport changes first.
    WriteBatch batch(*this);
    qvx::WaveformRenderData& renderData = batch.RenderData();

    std::uint64_t i = 0;
    std::uint64_t foundTime = 0;
    if (!m_reader->FindIndexByTime(static_cast<std::uint64_t>(start), i, foundTime)) return;

    DecodeAndAddData(renderData, m_reader->ReadRecordByIndex(i));
    if (i > 0) DecodeAndAddData(renderData, m_reader->ReadRecordByIndex(i - 1));

    const std::int64_t stride = CurrentLoadStride();
    const std::uint64_t step = stride > 1 ? static_cast<std::uint64_t>(stride) : 1;
    const std::uint64_t total = m_reader->GetTotalRecordCount();
    const std::int32_t timeWord = m_reader->GetTimeWordIndex();
    // The first index after i that is a multiple of the stride (i + 1 without one).
    for (std::uint64_t k = (i / step + 1) * step; k < total; k += step) {
        const std::uint8_t* record = m_reader->ReadRecordByIndex(k);
        if (!record) {
            // An unreadable record (a file gone or cut short in the middle of the report):
            // logged once, and the window goes on with the next file's first record.
            const std::uint64_t next = NextFileStart(k);
            spdlog::warn("Report records {} to {} cannot be read; the window goes on after them.", k,
                         std::min(next, total) - 1);
            if (next >= total) break;
            k = next - step;  // the loop's step lands on `next`
            continue;
        }
        const qvx::analog::DecodedRecord d = qvx::analog::DecodeRecord(record, timeWord);
        // The first record past the end is filed too, so the line runs on to the right edge.
        renderData.AddPoints(d.time, d.values);
        ++m_decodedRecordCount;
        if (d.time / qvx::kNanosecondsPerTick > end) break;
    }
}

bool QVxAnalogOscilloGraphViewModel::OnReadData(int channel, std::int64_t time,
                                                qvx::WaveformReadMode readMode, std::int64_t* outValue) {
    QVX_CHECK_RETURN(outValue, false);
    if (readMode == qvx::WaveformReadMode::kReserved) QVX_NOTIMPLEMENTED();
    if (readMode != qvx::WaveformReadMode::kRecordAtTime) QVX_UNREACHABLE();
    QVX_CHECK_RETURN(channel >= 0 && channel < qvx::AnalogSettings::kChannelCount, false);
    if (!m_reader || time < 0) return false;
    std::uint64_t index = 0;
    std::uint64_t foundTime = 0;
    if (!m_reader->FindIndexByTime(static_cast<std::uint64_t>(time / qvx::kNanosecondsPerTick), index,
                                   foundTime)) {
        return false;
    }
    const std::uint8_t* record = m_reader->ReadRecordByIndex(index);
    if (!record) return false;
    *outValue = qvx::analog::DecodeChannel(record, channel);
    return true;
}

std::string QVxAnalogOscilloGraphViewModel::OnMakeDisplayValue(int channel, std::int64_t rawValue) {
    const qvx::AnalogSettings* settings = m_owner ? m_owner->GetSessionSettings() : nullptr;
    if (!settings) QVX_UNREACHABLE();
    return settings->MakeDisplayTextFromNormalizedValue(channel, qvx::NormalizedFromCentred(rawValue));
}

std::string QVxAnalogOscilloGraphViewModel::OnMakeDisplayNormalizedValue(int channel,
                                                                         double normalizedValue) {
    const qvx::AnalogSettings* settings = m_owner ? m_owner->GetSessionSettings() : nullptr;
    if (!settings) QVX_UNREACHABLE();
    return settings->MakeDisplayTextFromNormalizedValue(channel, normalizedValue);
}

std::optional<std::int64_t> QVxAnalogOscilloGraphViewModel::OnGetClockOrigin() const {
    return m_owner ? m_owner->GetClockTimeOrigin() : std::nullopt;
}

double QVxAnalogOscilloGraphViewModel::OnGetDisplayTriggerPosition() {
    const qvx::AnalogSettings* settings = m_owner ? m_owner->GetSessionSettings() : nullptr;
    return settings ? settings->displayTriggerPosition : 0.5;
}
