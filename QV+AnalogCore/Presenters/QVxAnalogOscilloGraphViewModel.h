#pragma once
// The analog program's waveform presenter: loads analog report records into the
// render data on demand, reads single values for the cursor, markers and lists,
// and turns raw values into voltage texts. GUI thread only, except that the
// presenter's write batches may also run on the log collector's thread.

#include "QV+AnalogCore/Presenters/IQVxAnalogOscilloGraphOwner.h"
#include "QVxCore/Presenters/WaveformPresenter.h"

#include <cstdint>
#include <memory>
#include <string>

namespace qvx {
class ReportDataReader;
}

class QVxAnalogOscilloGraphViewModel : public qvx::WaveformPresenter {
public:
    static constexpr std::int64_t kRangeLow = -8192;  // centred raw scale of the tracks
    static constexpr std::int64_t kRangeHigh = 8192;

    // `owner` must outlive this object; its session settings give the visual settings.
    explicit QVxAnalogOscilloGraphViewModel(IQVxAnalogOscilloGraphOwner* owner);
    ~QVxAnalogOscilloGraphViewModel() override;

    // Switches to the records of `reader` (the session's report): the last time is
    // taken from the reader and the whole window loads. A null reader is refused.
    void SetupForStoredData(std::shared_ptr<qvx::ReportDataReader> reader);
    using qvx::WaveformPresenter::SetupForStoredData;

    // Records of [beginTime, endTime] ns into the writing side: every record of
    // the range at fine zoom steps, every stride-th at coarse ones, plus the
    // records just before and just after it.
    void OnLoadData(std::int64_t beginTime, std::int64_t endTime) override;
    // Centred raw value of `channel` at the record at or before `time` ns.
    // readMode 0 only: 1 is not implemented, anything else unreachable (both throw).
    bool OnReadData(int channel, std::int64_t time, std::int32_t readMode, std::int64_t* outValue) override;
    // Voltage text of a centred raw value; with no open session unreachable (throws).
    std::string OnMakeDisplayValue(int channel, std::int64_t rawValue) override;
    std::string OnMakeDisplayNormalizedValue(int channel, double normalizedValue) override;
    // The settings' displayTriggerPosition (0.5 while no session is open).
    double OnGetDisplayTriggerPosition() override;

    // Decodes `record` and files its four channel values into `renderData`.
    // A null record logs the failed check.
    void DecodeAndAddData(qvx::WaveformRenderData& renderData, const std::uint8_t* record);

    // Records decoded by OnLoadData since construction (for measurements).
    std::uint64_t GetDecodedRecordCount() const { return m_decodedRecordCount; }
    const std::shared_ptr<qvx::ReportDataReader>& GetReader() const { return m_reader; }
    IQVxAnalogOscilloGraphOwner* GetOwner() const { return m_owner; }

private:
    std::int64_t CurrentLoadStride() const;

    IQVxAnalogOscilloGraphOwner* m_owner;
    std::shared_ptr<qvx::ReportDataReader> m_reader;
    std::uint64_t m_decodedRecordCount = 0;
};
