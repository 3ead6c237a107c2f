#pragma once
// Helpers for tests that drive the library through its C API against simulated units: a log
// recorder, a data sink that checks the counter pattern record by record, short protocol waits
// and handle set-up.

#include "qvusb/qvusb_api.h"
#include "qvusb/qvusb_lib/SimBackend.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qvusb::test {

// Collects every log message of the library.
class LogRecorder {
public:
    static void Install();
    static void Clear();
    static bool Contains(const std::string& text);
    static std::vector<std::string> Messages();
};

struct SinkStats {
    uint64_t records = 0;
    uint64_t blocks = 0;
    uint64_t endCalls = 0;
    uint64_t dataAfterEnd = 0;
    uint64_t badElementSize = 0;
    uint64_t mismatches = 0;
    std::string firstMismatch;
    uint64_t lastTimeStamp = 0;
    uint32_t maxBlock = 0;
    uint32_t endStatusRunning = 0;
};

// Checks every record against the counter pattern of the simulated unit: record i (from 0 at
// each acquisition start) has time stamp floor(i x 1e8 / rate) and samples i mod 16384,
// (i div 16384) mod 16384, 7i mod 16384 and 16383 - (i mod 16384).
class CounterSink {
public:
    // `startTicks`: the first record's time stamp (a start trigger's time since the start).
    static void Reset(uint64_t rate, uint64_t startTicks = 0);
    static SinkStats Stats();
    static void OnData(uint8_t* data, uint32_t elementSize, uint32_t count, uint32_t endFlag,
                       QVPlusStatus* status);
    // Optional hook run inside each data call (on the writer thread), e.g. to stall the writer.
    static void SetHook(std::function<void()> hook);
};

// Shortens the protocol's waits so that a handle is ready within a few tens of milliseconds.
void UseShortWaits();
// True when the process runs on the stand-in libusb (scripts/with-usb-standin.sh).
bool ThroughStandin();
// Installs simulated units as the process's backend: a SimBackend, or on the stand-in libusb a
// libusb backend whose session presents those units (then the result is null).
std::shared_ptr<SimBackend> UseSimulatedUnits(const std::vector<std::wstring>& serials, SimSignal signal,
                                              bool maxSpeed = false, std::vector<SimFault> faults = {});
// Back to the process's own backend. On the stand-in, the test fails when the session of
// UseSimulatedUnits left anything behind (handle, device reference, interface, transfer).
void UseDefaultBackend();
// Records the unit at index of the last UseSimulatedUnits has written and lost so far.
uint64_t UnitWrittenRecords(int index = 0);
uint64_t UnitLostRecords(int index = 0);
// A non-empty bit-stream file in the temporary folder.
std::string BitStreamPath();
// A fresh empty folder below the temporary folder.
std::string FreshFolder(const std::string& name);

QVPlusHandle CreateHandle(const std::wstring& serial, const char* bitStreamPath);
// Polls until pred holds; false after timeout (a guard against hangs, not a timing check).
bool WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout = std::chrono::seconds(20));
QVPlusStatus StatusOf(QVPlusHandle handle);
bool WaitReady(QVPlusHandle handle);
bool WaitIdle(QVPlusHandle handle);

// Start record of the counter tests: given sampling code, data to CounterSink::OnData.
QVPlusStartParams CounterStartParams(uint8_t samplingCode);
uint64_t RateOf(uint8_t samplingCode);

}  // namespace qvusb::test
