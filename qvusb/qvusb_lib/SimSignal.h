#pragma once
// Records of the simulated unit: 16 bytes each, a 48-bit time stamp in 10 ns ticks and four
// 14-bit samples CH1..CH4, produced on demand from the record index.

#include "qvusb/qvusb_lib/SimConfig.h"
#include "qvusb/qvusb_report_format.h"

#include <cstdint>

namespace qvusb {

using report::kReportRecordSize;  // bytes per record

// When record i was sampled.
struct SimRecordTiming {
    bool externalClock = false;  // one record per TRG3 clock edge instead of a fixed rate
    uint64_t rate = 102400;      // records per second (fixed rate)
    uint64_t startNs = 0;        // fixed rate: when record 0 was sampled (the start trigger's edge)
    uint64_t firstEdgeNs = 0;    // external clock: time of the first sampled edge after the start
    uint64_t edgeSpacingNs = 100000;

    // 10 ns ticks since the start command, as every clock of the unit counts (fixed rate:
    // startNs / 10 + floor(i x 100,000,000 / rate)).
    uint64_t TimeStamp(uint64_t index) const;
};

// Writes count records starting with record index firstIndex.
void GenerateRecords(SimSignal signal, const SimRecordTiming& timing, uint64_t firstIndex, uint64_t count,
                     uint8_t* out);

}  // namespace qvusb
