#include "QVxCore/QVxAnalogDisplayTriggerAnalyzer.h"

#include "QVxCore/ReportData/RecordBlockScan.h"
#include "QVxCore/Utils.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace qvx {

std::int64_t QVxAnalogDisplayTriggerAnalyzer::MakeRawTriggerLevel(const AnalogSettings& settings, int channel,
                                                                  std::int64_t milliVolts) {
    const double raw = std::trunc(settings.GetDataRangeMilliVolts(channel, milliVolts));
    // A level far outside the range stays outside it without overflowing.
    constexpr double kLimit = 1e15;
    return static_cast<std::int64_t>(std::clamp(raw, -kLimit, kLimit));
}

void QVxAnalogDisplayTriggerAnalyzer::Reset(const AnalogSettings* settings, AnalogDisplayTriggerList* list) {
    m_triggerTime = kNone;
    m_triggerPending = false;
    m_triggersFound = 0;
    m_windowsCompleted = 0;
    m_hitCount = 0;
    m_unstoredHitCount = 0;
    m_previousSample = kNone;
    ResetEdgeState();
    m_settings = settings;
    m_list = list;
    m_params = Parameters{};
    m_rawTriggerLevel.store(0);

    QVX_CHECK(settings != nullptr);
    const int channel = settings->displayTriggerSourceChannel;
    QVX_CHECK(channel >= 0 && channel < AnalogSettings::kChannelCount);
    const AnalogDisplayTriggerSettings& trigger =
        settings->displayTriggerSettings[static_cast<std::size_t>(channel)];
    QVX_CHECK(trigger.slope >= kHighEdge && trigger.slope <= kLowWidth);
    QVX_CHECK(trigger.widthEdgeComparison == kWithin || trigger.widthEdgeComparison == kOutside);
    QVX_CHECK(trigger.sensitivityCount >= 1);

    std::int64_t level = 0;
    try {
        level = MakeRawTriggerLevel(*settings, channel, trigger.voltageLevel);
    } catch (const std::exception&) {
        // The range or probe index is out of range: already logged as unreachable.
        return;
    }
    m_rawTriggerLevel.store(level);
    spdlog::info("RawTriggerLevel: {}", level);

    m_params.valid = true;
    m_params.mode = settings->displayTriggerMode;
    m_params.channel = channel;
    m_params.slope = trigger.slope;
    m_params.comparison = trigger.widthEdgeComparison;
    m_params.sensitivity = trigger.sensitivityCount;
    m_params.widthLimitNs = trigger.edgeWidthTime;
    m_params.position = settings->displayTriggerPosition;
}

void QVxAnalogDisplayTriggerAnalyzer::ResetEdgeState() {
    m_confirmCounter = kNone;
    m_crossingTime = kNone;
    m_crossingDataIndex = kNone;
    m_pulseStart = kNone;
    m_upwards = false;
}

bool QVxAnalogDisplayTriggerAnalyzer::IsPulseHit(std::int64_t widthNs) const {
    return m_params.comparison == kWithin ? widthNs <= m_params.widthLimitNs
                                          : widthNs > m_params.widthLimitNs;
}

bool QVxAnalogDisplayTriggerAnalyzer::Analyze(std::int64_t timeNs, std::span<const std::uint16_t, 4> samples,
                                              std::int64_t dataIndex) {
    if (!m_params.valid) {
        return false;
    }
    // Stored 14-bit samples; anything above is taken as full scale, as decoding does.
    const std::int64_t v = LimitedSample(samples[static_cast<std::size_t>(m_params.channel)]);
    const std::int64_t level = m_rawTriggerLevel.load(std::memory_order_relaxed);
    const std::int64_t p = m_previousSample;
    m_previousSample = v;
    if (p == kNone) {
        return false;  // first record: no edge, and no pulse can close
    }

    // An upward crossing starts when p <= level < v, a downward one when p >= level >= v.
    // A crossing being confirmed must stay beyond the level: v > level upwards, v < level
    // downwards. A sample on the level therefore starts a downward crossing but never
    // confirms one.
    if (m_confirmCounter >= 0) {
        if (m_upwards ? v > level : v < level) {
            ++m_confirmCounter;
        } else {
            m_confirmCounter = kNone;
            m_crossingTime = kNone;
            m_crossingDataIndex = kNone;
        }
    }
    // A new crossing starts only when none is being confirmed; the sample that
    // dropped a crossing may start the opposite one.
    if (m_confirmCounter == kNone) {
        if (p <= level && level < v) {
            m_upwards = true;
        } else if (p >= level && level >= v) {
            m_upwards = false;
        } else {
            return false;  // no crossing: no edge, so no hit on any slope
        }
        m_confirmCounter = 1;
        m_crossingTime = timeNs;
        m_crossingDataIndex = dataIndex;
    }

    if (m_confirmCounter < m_params.sensitivity) {
        return false;
    }
    const bool upEdge = m_upwards;
    m_confirmCounter = kNone;

    switch (m_params.slope) {
        case kHighEdge:
            return upEdge;
        case kLowEdge:
            return !upEdge;
        case kHighWidth:
        case kLowWidth: {
            const bool opening = (m_params.slope == kHighWidth) == upEdge;
            if (m_pulseStart == kNone) {
                if (opening) {
                    m_pulseStart = timeNs;
                }
                return false;
            }
            if (opening) {
                return false;  // a pulse is open already
            }
            if (IsPulseHit(timeNs - m_pulseStart)) {
                return true;  // the pulse stays open until the hit is accepted
            }
            m_pulseStart = kNone;
            return false;
        }
        default:
            return false;  // refused at Reset
    }
}

std::size_t QVxAnalogDisplayTriggerAnalyzer::AnalyzeUntilHit(const std::uint8_t* records, std::size_t count,
                                                             std::int64_t firstIndex) {
    if (!m_params.valid) return count;  // Analyze finds nothing and changes nothing
    std::size_t i = 0;
    while (i < count) {
        i += PassQuietRecords(records + i * kReportRecordSize, count - i);
        if (i == count) break;
        const std::uint8_t* record = records + i * kReportRecordSize;
        const std::array<std::uint16_t, 4> samples{RecordRawSample(record, 0), RecordRawSample(record, 1),
                                                   RecordRawSample(record, 2), RecordRawSample(record, 3)};
        if (Analyze(RecordTimeNs(record), samples, firstIndex + static_cast<std::int64_t>(i))) return i;
        ++i;
    }
    return count;
}

std::size_t QVxAnalogDisplayTriggerAnalyzer::PassQuietRecords(const std::uint8_t* records,
                                                              std::size_t count) {
    const std::int64_t p = m_previousSample;
    if (p == kNone) return 0;
    const std::int64_t level = m_rawTriggerLevel.load(std::memory_order_relaxed);
    const auto channel = static_cast<std::size_t>(m_params.channel);
    std::size_t quiet = 0;
    if (m_confirmCounter == kNone) {
        // No crossing starts while the samples stay strictly on the previous one's side.
        if (p > level)
            quiet = recordscan::FindAtOrBelow(records, count, channel, level);
        else if (p < level)
            quiet = recordscan::FindAtOrAbove(records, count, channel, level);
    } else {
        // Each sample beyond the level counts the confirmation up; the one that would reach
        // the sensitivity, or drop the crossing, goes through Analyze.
        const std::int64_t counted = m_params.sensitivity - m_confirmCounter - 1;
        if (counted <= 0) return 0;
        const std::size_t n = std::min<std::size_t>(count, static_cast<std::uint64_t>(counted));
        quiet = m_upwards ? recordscan::FindAtOrBelow(records, n, channel, level)
                          : recordscan::FindAtOrAbove(records, n, channel, level);
        m_confirmCounter += static_cast<std::int64_t>(quiet);
    }
    if (quiet > 0)
        m_previousSample = LimitedSample(RecordRawSample(records + (quiet - 1) * kReportRecordSize, channel));
    return quiet;
}

bool QVxAnalogDisplayTriggerAnalyzer::ShouldAnalyze() const {
    if (!m_params.valid || m_params.mode == kModeNone) {
        return false;
    }
    return !(m_params.mode == kModeSingle && m_triggersFound > 0);
}

void QVxAnalogDisplayTriggerAnalyzer::AcceptHit(std::int64_t timeNs, std::int64_t dataIndex) {
    const bool pulse = m_params.slope == kHighWidth || m_params.slope == kLowWidth;
    const std::int64_t width = pulse && m_pulseStart != kNone ? timeNs - m_pulseStart : 0;
    ++m_hitCount;
    if (m_list != nullptr && m_list->size() < m_maxStoredHits) {
        m_list->push_back(AnalogDisplayTriggerItem{dataIndex, width});
    } else if (m_list != nullptr) {
        ++m_unstoredHitCount;
    }
    ResetEdgeState();
    if (m_params.mode == kModeRepeat && m_triggerPending) {
        return;
    }
    m_triggerTime = timeNs;
    ++m_triggersFound;
    m_triggerPending = true;
}

std::int64_t QVxAnalogDisplayTriggerAnalyzer::UpdateTriggerWindow(std::int64_t windowWidthNs,
                                                                  std::int64_t lastTimeNs) {
    if (m_triggerTime < 0) {
        return kNone;
    }
    const std::int64_t offset = TriggerViewOffset(windowWidthNs);
    if (offset < lastTimeNs - windowWidthNs && m_triggerPending) {
        ++m_windowsCompleted;
        m_triggerPending = false;
    }
    return offset;
}

std::int64_t QVxAnalogDisplayTriggerAnalyzer::TriggerViewOffset(std::int64_t windowWidthNs) const {
    if (m_triggerTime < 0) {
        return kNone;
    }
    return static_cast<std::int64_t>(static_cast<double>(m_triggerTime) -
                                     static_cast<double>(windowWidthNs) * m_params.position);
}

}  // namespace qvx
