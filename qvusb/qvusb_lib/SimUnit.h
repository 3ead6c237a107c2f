#pragma once
// The simulated NAVO+ unit: the unit's side of the vendor protocol. It answers the three vendor
// requests (any non-empty bit-stream configures the FPGA), keeps the 96-byte control area,
// reports its write pointer and status word, and serves its 256 MiB sample memory through
// command 2 at any address with wrap-around. While running, the write pointer advances with
// wall-clock time at the sampling rate of the control block; records are produced on read, so
// no memory is held for them. When the host falls behind and the memory is full the unit stops
// writing, sets the overflow bit in its status word and counts the records it lost.
// Thread-safe: every call takes the unit's mutex.

#include "qvusb/qvusb_lib/Fx3Device.h"
#include "qvusb/qvusb_lib/SimCapturePlan.h"
#include "qvusb/qvusb_lib/SimConfig.h"
#include "qvusb/qvusb_lib/UsbBackend.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace qvusb {

// Status word bits of the simulated unit (low byte: current state; upper bytes: events), the
// unit's own (Fx3Device.h).
constexpr uint32_t kSimStatusCapturing = kUnitStateCapturing;
constexpr uint32_t kSimStatusConfigured = kUnitStateConfigured;
constexpr uint32_t kSimStatusWaitingForStart = kUnitStateWaitingForStart;
constexpr uint32_t kSimStatusStopTriggered = kUnitStateStopTriggered;
constexpr uint32_t kSimStatusOverflow = kUnitEventOverflow;

class SimUnit {
public:
    using Clock = std::function<uint64_t()>;  // nanoseconds, monotonic

    SimUnit(std::wstring serial, const SimConfig& config, Clock clock = {});

    const std::wstring& Serial() const { return m_serial; }
    bool IsPresent();
    bool TryOpen();  // false once when "open-fail-once" is configured
    UsbDeviceInfo Info() const;

    bool Control(const ControlRequest& request, uint8_t* buffer, uint32_t& length);
    bool BulkOut(const uint8_t* buffer, uint32_t length);
    bool BulkIn(uint8_t* buffer, uint32_t& length);

    // True once a fault of that kind is due: its time after the latest acquisition start has
    // come. The USB host faults of the stand-in libusb are timed by this.
    bool FaultDueNow(SimFaultKind kind);

    // Inspection.
    uint64_t LostRecords();
    uint64_t WrittenRecords();
    uint32_t StatusWord();
    bool FpgaConfigured();

private:
    struct Segment {
        uint64_t linearRecord;  // position in the memory counted since the start
        uint64_t recordIndex;   // index of the record stored there
    };

    uint64_t Now() const { return m_clock(); }
    bool FaultDue(SimFaultKind kind, uint64_t nowNs) const;
    bool CheckUnplugged(uint64_t nowNs);
    void Advance(uint64_t nowNs);
    void ApplyControlWrite(uint32_t address, const uint8_t* data, uint32_t length);
    void StartCapture();
    void StopCapture();
    void FillStatus(uint8_t* out12);
    void FillSamples(uint32_t address, uint8_t* out, uint32_t length);
    uint64_t RecordIndexAt(uint64_t linearRecord) const;
    void ResetUnit();

    std::mutex m_mutex;
    const std::wstring m_serial;
    const SimConfig m_config;
    Clock m_clock;

    bool m_unplugged = false;
    bool m_openFailPending = false;
    bool m_shortReadDone = false;
    bool m_fpgaConfigured = false;
    int64_t m_bitStreamExpected = -1;  // -1: no download announced
    int64_t m_bitStreamReceived = 0;
    uint8_t m_control[96] = {};

    // Command in progress on the bulk endpoints.
    uint16_t m_writeCommand = 0;
    uint32_t m_writeAddress = 0;
    uint32_t m_writeRemaining = 0;
    bool m_readPending = false;
    uint16_t m_readCommand = 0;
    uint32_t m_readAddress = 0;
    uint32_t m_readLength = 0;

    // Capture state.
    bool m_everStarted = false;
    bool m_running = false;
    uint64_t m_startNs = 0;
    SimCapturePlan m_plan;
    uint64_t m_written = 0;        // records written into memory since the start
    uint64_t m_consumedBytes = 0;  // bytes the host has read (linear)
    uint64_t m_nextSample = 0;     // index of the next record to sample
    uint64_t m_lost = 0;
    uint32_t m_statusEvents = 0;
    std::vector<Segment> m_segments;
};

}  // namespace qvusb
