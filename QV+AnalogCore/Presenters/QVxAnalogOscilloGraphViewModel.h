#pragma once
// The analog program's waveform presenter: loads analog report records into the
// render data on demand, reads single values for the cursor, markers and lists,
// and turns raw values into voltage texts. GUI thread only, except that the
// presenter's write batches may also run on the log collector's thread.

#include "QV+AnalogCore/Presenters/IQVxAnalogOscilloGraphOwner.h"
#include "QVxCore/Presenters/Signal.h"
#include "QVxCore/Presenters/WaveformPresenter.h"
#include "QVxCore/ReportData/ReportFormat.h"

#include <filesystem>
#include <vector>

#include <cstdint>
#include <memory>
#include <string>

namespace qvx {
class ReportDataReader;
class ReportOverview;
class ReportOverviewIndexer;
}  // namespace qvx

class QVxAnalogOscilloGraphViewModel : public qvx::WaveformPresenter {
public:
    // The centred raw scale of the tracks: -8192..+8192.
    static constexpr std::int64_t kRangeLow = -std::int64_t{qvx::kRawSampleMidScale};
    static constexpr std::int64_t kRangeHigh = qvx::kRawSampleMidScale;

    // `owner` must outlive this object; its session settings give the visual settings.
    explicit QVxAnalogOscilloGraphViewModel(IQVxAnalogOscilloGraphOwner* owner);
    ~QVxAnalogOscilloGraphViewModel() override;

    // Switches to the records of `reader` (the session's report): the last time is
    // taken from the reader and the whole window loads. A null reader is refused.
    // With background indexing on, files without a valid overview are indexed on a
    // worker thread meanwhile; until that is done the window loads as without an
    // overview, then it reloads.
    void SetupForStoredData(std::shared_ptr<qvx::ReportDataReader> reader);
    // Off by default (the overview goes beside the report folder, which a caller may
    // not want written); the application and the viewer switch it on.
    void EnableBackgroundIndexing(bool on) { m_backgroundIndexing = on; }

    // Indexing progress on the GUI thread: (bytes read, bytes to read); (0, 0) when
    // indexing ended (done, failed or cancelled).
    qvx::Signal<std::uint64_t, std::uint64_t> IndexingProgress;
    bool IsIndexing() const { return m_indexer != nullptr; }
    const std::shared_ptr<qvx::ReportOverview>& GetOverview() const { return m_overview; }
    using qvx::WaveformPresenter::SetupForStoredData;

    // Records of [beginTime, endTime] ns into the writing side: every record of
    // the range at fine zoom steps, every stride-th at coarse ones, plus the
    // records just before and just after it.
    void OnLoadData(std::int64_t beginTime, std::int64_t endTime) override;
    // Centred raw value of `channel` at the record at or before `time` ns.
    // kRecordAtTime only: kReserved is not implemented, any other number unreachable (both throw).
    bool OnReadData(int channel, std::int64_t time, qvx::WaveformReadMode readMode,
                    std::int64_t* outValue) override;
    // Voltage text of a centred raw value; with no open session unreachable (throws).
    std::string OnMakeDisplayValue(int channel, std::int64_t rawValue) override;
    std::string OnMakeDisplayNormalizedValue(int channel, double normalizedValue) override;
    // The settings' displayTriggerPosition (0.5 while no session is open).
    double OnGetDisplayTriggerPosition() override;
    // The owner's clock origin.
    std::optional<std::int64_t> OnGetClockOrigin() const override;

    // Decodes `record` and files its four channel values into `renderData`.
    // A null record logs the failed check.
    void DecodeAndAddData(qvx::WaveformRenderData& renderData, const std::uint8_t* record);

    // Records decoded by OnLoadData since construction (for measurements).
    std::uint64_t GetDecodedRecordCount() const { return m_decodedRecordCount; }
    const std::shared_ptr<qvx::ReportDataReader>& GetReader() const { return m_reader; }
    IQVxAnalogOscilloGraphOwner* GetOwner() const { return m_owner; }

private:
    std::int64_t CurrentLoadStride() const;
    // Opens the report's overview, or starts indexing the files that lack one.
    void OpenOverview();
    void StartIndexing(std::vector<std::filesystem::path> files);
    void OnIndexingFinished(bool complete);
    // Loads through the overview; false when it turned out damaged (nothing was loaded).
    bool LoadWithOverview(std::int64_t beginTime, std::int64_t endTime);

    IQVxAnalogOscilloGraphOwner* m_owner;
    std::shared_ptr<qvx::ReportDataReader> m_reader;
    std::uint64_t m_decodedRecordCount = 0;
    std::shared_ptr<qvx::ReportOverview> m_overview;
    bool m_backgroundIndexing = false;
    // Posted indexing notices hold this weakly, so none runs after destruction.
    std::shared_ptr<QVxAnalogOscilloGraphViewModel*> m_alive;
    // Declared last: destroyed (cancelled and joined) first.
    std::unique_ptr<qvx::ReportOverviewIndexer> m_indexer;
};
