#pragma once
// Helpers shared by the report data tests.

#include "QVxCore/ReportData/RecordCodec.h"
#include "QVxCore/ReportData/ReportData.h"
#include "QVxCore/tests/support/LogCapture.h"
#include "QVxCore/tests/support/ReportBuilder.h"

namespace qvx::test {

// The log capture of the report tests: the messages alone, one per line.
class ReportLogCapture : public LogCapture {
public:
    ReportLogCapture() : LogCapture("%v") {}
};

inline std::uint64_t TimeOf(const std::uint8_t* record) {
    return LoadLE64(record) & kRecordTimeMask;
}

}  // namespace qvx::test
