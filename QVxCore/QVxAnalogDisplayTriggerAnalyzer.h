#pragma once
// The display trigger: watches one channel of the records of a running trace for an
// edge (the signal crossing a level upwards or downwards) or for a pulse whose
// width is within or outside a limit.
//
// Fed record by record on the log collector's thread (inside the analog view
// model's Broadcast, under its mutex); the view model reads and updates the trigger
// time, the pending mark and the two counters under the same mutex. Only the raw
// trigger level is atomic, for readers outside that mutex.
//
// Samples are compared on the stored raw scale (0 to 16383, 8192 = 0 V). Times are
// ns since the start of the recording; data indexes are global record indexes.

#include "QVxCore/AnalogSettings.h"
#include "QVxCore/DisplayTriggerList.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

namespace qvx {

class QVxAnalogDisplayTriggerAnalyzer {
public:
    static constexpr std::int64_t kNone = -1;

    // Short names of the codes the analyzer works with (AnalogSettingsCodes.h).
    static constexpr TriggerSlope kHighEdge = TriggerSlope::kRising;
    static constexpr TriggerSlope kLowEdge = TriggerSlope::kFalling;
    static constexpr TriggerSlope kHighWidth = TriggerSlope::kHighWidth;
    static constexpr TriggerSlope kLowWidth = TriggerSlope::kLowWidth;
    // Within (width <= limit) or outside (width > limit).
    static constexpr WidthComparison kWithin = WidthComparison::kWithin;
    static constexpr WidthComparison kOutside = WidthComparison::kOutside;
    static constexpr DisplayTriggerMode kModeNone = DisplayTriggerMode::kNone;
    static constexpr DisplayTriggerMode kModeSingle = DisplayTriggerMode::kSingle;
    static constexpr DisplayTriggerMode kModeRepeat = DisplayTriggerMode::kRepeat;

    // Raw level of `milliVolts` on `channel`'s scale, truncated toward zero.
    static std::int64_t MakeRawTriggerLevel(const AnalogSettings& settings, int channel,
                                            std::int64_t milliVolts);

    // Trace start, before the device starts. Clears all state, takes the source
    // channel's trigger parameters from `settings` (read here once: later edits
    // apply from the next trace on), computes and logs the raw trigger level and
    // remembers `list` (not owned) for AcceptHit. An invalid source channel, slope,
    // comparison or sensitivity is logged and leaves the analyzer finding nothing.
    void Reset(const AnalogSettings* settings, AnalogDisplayTriggerList* list);

    // One record: its time (ns), its four stored samples and its data index.
    // True when the record completes a hit.
    bool Analyze(std::int64_t timeNs, std::span<const std::uint16_t, 4> samples, std::int64_t dataIndex);

    // Analyze for `count` consecutive 16-byte records (data indexes firstIndex,
    // firstIndex + 1, ...), in order, up to and including the first hit: its position, or
    // `count` without one. Runs of records that can only move the previous sample (no
    // crossing being confirmed and each sample on the previous one's strict side of the
    // level, or a confirmation that keeps counting below the sensitivity) are passed in one
    // scan; every other record goes through Analyze. The state afterwards is exactly that
    // of Analyze called record by record.
    std::size_t AnalyzeUntilHit(const std::uint8_t* records, std::size_t count, std::int64_t firstIndex);

    // Whether Broadcast should feed records: the mode is not 0 and, in mode 1
    // (single), no trigger has been found yet.
    bool ShouldAnalyze() const;

    // What the view model does with a hit of the record (timeNs, dataIndex): counts
    // it, appends {dataIndex, width} to the list while the list holds fewer than
    // the stored-hit limit (width = timeNs - pulse start for pulse slopes, 0 for
    // edges), resets the edge state and, unless the mode is repeat with a trigger
    // pending, makes timeNs the trigger time, counts it and sets pending.
    void AcceptHit(std::int64_t timeNs, std::int64_t dataIndex);

    // Hits of this trace, stored or not.
    std::uint64_t GetHitCount() const { return m_hitCount; }
    // Whether a hit of this trace was not stored because the list was full.
    bool IsHitListFull() const { return m_unstoredHitCount > 0; }
    // The stored-hit limit (kMaxStoredDisplayTriggerHits unless changed; kept by Reset).
    void SetMaxStoredHits(std::size_t count) { m_maxStoredHits = count; }
    std::size_t GetMaxStoredHits() const { return m_maxStoredHits; }

    // Forgets the crossing being confirmed and the open pulse.
    void ResetEdgeState();

    // Per batch: with a trigger time, the view offset puts the trigger at the
    // trigger position of a window `windowWidthNs` wide. Once that offset is older
    // than lastTimeNs - windowWidthNs while pending, the window is complete (counted,
    // pending cleared). Returns the view offset, or kNone without a trigger time.
    std::int64_t UpdateTriggerWindow(std::int64_t windowWidthNs, std::int64_t lastTimeNs);
    // The viewport begin (ns) that puts the trigger time at the trigger position of
    // a window `windowWidthNs` wide; kNone without a trigger time. No side effects.
    std::int64_t TriggerViewOffset(std::int64_t windowWidthNs) const;

    // At least one trigger found and every trigger window complete: the live view
    // stops taking new data.
    bool IsDisplayHeld() const { return m_triggersFound > 0 && m_windowsCompleted >= m_triggersFound; }

    std::int64_t GetTriggerTime() const { return m_triggerTime; }
    void SetTriggerTime(std::int64_t timeNs) { m_triggerTime = timeNs; }
    std::int64_t GetRawTriggerLevel() const { return m_rawTriggerLevel.load(); }
    bool IsTriggerPending() const { return m_triggerPending; }
    void SetTriggerPending(bool pending) { m_triggerPending = pending; }
    std::uint32_t GetTriggersFound() const { return m_triggersFound; }
    void SetTriggersFound(std::uint32_t count) { m_triggersFound = count; }
    std::uint32_t GetTriggerWindowsCompleted() const { return m_windowsCompleted; }
    void SetTriggerWindowsCompleted(std::uint32_t count) { m_windowsCompleted = count; }

    // The crossing being confirmed (kNone when none) and the open pulse's start.
    std::int64_t GetConfirmCounter() const { return m_confirmCounter; }
    std::int64_t GetCrossingTime() const { return m_crossingTime; }
    std::int64_t GetCrossingDataIndex() const { return m_crossingDataIndex; }
    std::int64_t GetPulseStart() const { return m_pulseStart; }
    // The previous record's source sample (limited to 16383); kNone before the first.
    std::int64_t GetPreviousSample() const { return m_previousSample; }

private:
    // Settings taken at Reset.
    struct Parameters {
        bool valid = false;
        DisplayTriggerMode mode = kModeNone;
        int channel = 0;
        TriggerSlope slope = kHighEdge;
        WidthComparison comparison = kWithin;
        std::int64_t sensitivity = 1;
        std::int64_t widthLimitNs = 0;
        double position = 0.5;
    };

    bool IsPulseHit(std::int64_t widthNs) const;
    // How many of the `count` records from `records` on cannot change the state beyond the
    // previous sample and the confirm counter; passes them.
    std::size_t PassQuietRecords(const std::uint8_t* records, std::size_t count);

    std::int64_t m_triggerTime = kNone;
    std::atomic<std::int64_t> m_rawTriggerLevel{0};
    bool m_triggerPending = false;
    std::uint32_t m_triggersFound = 0;
    std::uint32_t m_windowsCompleted = 0;
    std::int64_t m_previousSample = kNone;
    std::int64_t m_confirmCounter = kNone;
    bool m_upwards = false;
    std::int64_t m_crossingTime = kNone;
    std::int64_t m_crossingDataIndex = kNone;
    std::int64_t m_pulseStart = kNone;
    const AnalogSettings* m_settings = nullptr;
    AnalogDisplayTriggerList* m_list = nullptr;
    std::uint64_t m_hitCount = 0;
    std::uint64_t m_unstoredHitCount = 0;  // hits beyond the limit
    std::size_t m_maxStoredHits = kMaxStoredDisplayTriggerHits;
    Parameters m_params;
};

}  // namespace qvx
