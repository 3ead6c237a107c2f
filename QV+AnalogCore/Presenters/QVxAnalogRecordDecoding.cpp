#include "QV+AnalogCore/Presenters/QVxAnalogRecordDecoding.h"

#include "QVxCore/ReportData/ReportFormat.h"

namespace qvx::analog {

DecodedRecord DecodeRecord(const std::uint8_t* record, std::int32_t timeWordIndex) {
    DecodedRecord d;
    const std::uint64_t stamp =
        LoadLE64(record + 8 * static_cast<std::size_t>(timeWordIndex)) & kRecordTimeMask;
    d.time = static_cast<std::int64_t>(stamp) * kNanosecondsPerTick;
    for (int c = 0; c < kChannelCount; ++c) d.values[static_cast<std::size_t>(c)] = DecodeChannel(record, c);
    return d;
}

std::int64_t DecodeChannel(const std::uint8_t* record, int channel) {
    return CenteredRawValue(LoadLE16(record + kRecordOffsetSamples + 2 * static_cast<std::size_t>(channel)));
}

std::int64_t LoadStride(std::int64_t stepStride, std::int32_t samplingFrequency) {
    switch (samplingFrequency) {
        case 0:
            return stepStride / 100;
        case 1:
            return stepStride / 10;
        default:
            return stepStride;
    }
}

}  // namespace qvx::analog
