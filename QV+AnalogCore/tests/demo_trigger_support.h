#pragma once
// The display trigger the trace tests use on the simulated unit's demo signal:
// CH4's high pulses within 300 us, at a level half-way up the pulses (the noise of
// +-200 codes never crosses it), sampled at 1 MS/s.

#include "QVxCore/AnalogSettings.h"
#include "QVxCore/QVxAnalogDisplayTriggerAnalyzer.h"

namespace qvx::test {

inline void UseDemoPulseTrigger(qvx::AnalogSettings& s, qvx::DisplayTriggerMode mode) {
    s.samplingFrequency = 1;
    s.displayTriggerMode = mode;
    s.displayTriggerSourceChannel = 3;
    auto& t = s.displayTriggerSettings[3];
    t.slope = qvx::QVxAnalogDisplayTriggerAnalyzer::kHighWidth;
    t.widthEdgeComparison = qvx::QVxAnalogDisplayTriggerAnalyzer::kWithin;
    t.edgeWidthTime = 300'000;
    t.sensitivityCount = 1;
    t.voltageLevel = 0;
    while (qvx::QVxAnalogDisplayTriggerAnalyzer::MakeRawTriggerLevel(s, 3, t.voltageLevel) < 8192 + 3000)
        t.voltageLevel += 10;
}

}  // namespace qvx::test
