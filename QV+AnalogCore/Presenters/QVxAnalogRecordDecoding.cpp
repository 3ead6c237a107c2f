#include "QV+AnalogCore/Presenters/QVxAnalogRecordDecoding.h"

namespace qvx::analog {

DecodedRecord DecodeRecord(const std::uint8_t* record, std::int32_t timeWordIndex) {
    DecodedRecord d;
    d.time = RecordTimeNs(record, static_cast<std::size_t>(timeWordIndex));
    for (std::size_t c = 0; c < kRecordChannelCount; ++c)
        d.values[c] = CentredSample(RecordRawSample(record, c));
    return d;
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
