#include "SimHarness.h"

#include "CounterPattern.h"

#include "qvusb/qvusb_lib/LibusbBackend.h"
#include "qvusb/qvusb_lib/Timing.h"
#include "qvusb/standin/StandinTestHooks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include <dlfcn.h>
#include <unistd.h>

namespace qvusb::test {

namespace {

std::mutex s_logMutex;
std::vector<std::string> s_log;

void OnLog(const char*, uint32_t, uint32_t, const char* message) {
    std::lock_guard lock(s_logMutex);
    s_log.emplace_back(message);
}

struct SinkState {
    std::mutex mutex;
    uint64_t rate = 102400;
    uint64_t startTicks = 0;
    SinkStats stats;
    std::function<void()> hook;
};

SinkState& Sink() {
    static SinkState state;
    return state;
}

std::shared_ptr<SimBackend> s_simBackend;  // of the last UseSimulatedUnits, when not on the stand-in
size_t s_standinProblems = 0;              // the stand-in's problem count at UseSimulatedUnits

template <typename Fn>
Fn StandinFunction(const char* name) {
    return reinterpret_cast<Fn>(::dlsym(RTLD_DEFAULT, name));
}

size_t StandinProblemCount() {
    static const auto count = StandinFunction<QvplusStandinProblemCountFn>("qvplus_standin_problem_count");
    return count ? count() : 0;
}

void StandinUnitRecords(int index, uint64_t* written, uint64_t* lost) {
    static const auto records = StandinFunction<QvplusStandinUnitRecordsFn>("qvplus_standin_unit_records");
    if (records == nullptr || records(index, written, lost) != 0)
        ADD_FAILURE() << "no stand-in unit " << index;
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());  // serial numbers are ASCII
}

// The variables the stand-in reads when a libusb session starts.
void SetStandinEnvironment(const std::vector<std::wstring>& serials, SimSignal signal, bool maxSpeed,
                           const std::vector<SimFault>& faults) {
    std::string units, faultText;
    for (const std::wstring& serial : serials) units += (units.empty() ? "" : ",") + Narrow(serial);
    for (const SimFault& fault : faults)
        faultText += (faultText.empty() ? "" : ",") + std::string(SimFaultName(fault.kind)) + "@" +
                     std::to_string(fault.atSeconds);
    ::setenv("QVPLUS_STANDIN_UNITS", units.c_str(), 1);
    ::setenv("QVPLUS_SIM_SIGNAL", signal == SimSignal::kCounter ? "counter" : "demo", 1);
    ::setenv("QVPLUS_SIM_SPEED", maxSpeed ? "max" : "", 1);
    ::setenv("QVPLUS_SIM_FAULTS", faultText.c_str(), 1);
}

}  // namespace

void LogRecorder::Install() {
    QVPlus_SetLogCallback(&OnLog, nullptr);
}

void LogRecorder::Clear() {
    std::lock_guard lock(s_logMutex);
    s_log.clear();
}

bool LogRecorder::Contains(const std::string& text) {
    std::lock_guard lock(s_logMutex);
    for (const auto& m : s_log)
        if (m == text) return true;
    return false;
}

std::vector<std::string> LogRecorder::Messages() {
    std::lock_guard lock(s_logMutex);
    return s_log;
}

void CounterSink::Reset(uint64_t rate, uint64_t startTicks) {
    std::lock_guard lock(Sink().mutex);
    Sink().rate = rate;
    Sink().startTicks = startTicks;
    Sink().stats = SinkStats{};
    Sink().hook = nullptr;
}

SinkStats CounterSink::Stats() {
    std::lock_guard lock(Sink().mutex);
    return Sink().stats;
}

void CounterSink::SetHook(std::function<void()> hook) {
    std::lock_guard lock(Sink().mutex);
    Sink().hook = std::move(hook);
}

void CounterSink::OnData(uint8_t* data, uint32_t elementSize, uint32_t count, uint32_t endFlag,
                         QVPlusStatus* status) {
    std::function<void()> hook;
    {
        std::lock_guard lock(Sink().mutex);
        hook = Sink().hook;
    }
    if (hook && endFlag == 0) hook();
    std::lock_guard lock(Sink().mutex);
    SinkStats& s = Sink().stats;
    if (endFlag != 0) {
        ++s.endCalls;
        s.endStatusRunning = status ? status->running : 0;
        return;
    }
    if (s.endCalls != 0) ++s.dataAfterEnd;
    if (elementSize != 1) ++s.badElementSize;
    ++s.blocks;
    s.maxBlock = std::max(s.maxBlock, count);
    const uint64_t rate = Sink().rate;
    const uint64_t startTicks = Sink().startTicks;
    for (uint32_t offset = 0; offset + 16 <= count; offset += 16) {
        const uint64_t i = s.records++;
        uint64_t word = 0;
        std::memcpy(&word, data + offset, 8);
        const uint64_t ts = word & 0xFFFFFFFFFFFFull;
        if (!MatchesCounterPattern(data + offset, i, rate, startTicks) && s.mismatches++ == 0)
            s.firstMismatch = "record " + std::to_string(i) + ": ts " + std::to_string(ts) + " ch1 " +
                              std::to_string(data[offset + 8] | (data[offset + 9] << 8));
        s.lastTimeStamp = ts;
    }
    if (count % 16 != 0 && s.mismatches++ == 0)
        s.firstMismatch = "block of " + std::to_string(count) + " bytes";
}

void UseShortWaits() {
    Timing& t = GetTiming();
    t.resetSettleMs = 5;
    t.bitStreamSettleMs = 5;
    t.idlePollMs = 20;
    t.stopSettleMs = 20;
}

bool ThroughStandin() {
    return StandinFunction<QvplusStandinProblemCountFn>("qvplus_standin_problem_count") != nullptr;
}

std::shared_ptr<SimBackend> UseSimulatedUnits(const std::vector<std::wstring>& serials, SimSignal signal,
                                              bool maxSpeed, std::vector<SimFault> faults) {
    if (ThroughStandin()) {
        SetStandinEnvironment(serials, signal, maxSpeed, faults);
        s_standinProblems = StandinProblemCount();
        s_simBackend = nullptr;
        SetBackendOverride(std::make_shared<LibusbBackend>());
        return nullptr;
    }
    SimConfig config;
    config.serials = serials;
    config.signal = signal;
    config.maxSpeed = maxSpeed;
    config.faults = std::move(faults);
    s_simBackend = std::make_shared<SimBackend>(config);
    SetBackendOverride(s_simBackend);
    return s_simBackend;
}

void UseDefaultBackend() {
    SetBackendOverride(nullptr);  // ends the stand-in's session, which checks its use
    if (ThroughStandin()) {
        EXPECT_EQ(StandinProblemCount(), s_standinProblems) << "the stand-in libusb reported use problems";
    }
    s_standinProblems = StandinProblemCount();
}

uint64_t UnitWrittenRecords(int index) {
    if (s_simBackend) return s_simBackend->Units().at(index)->WrittenRecords();
    uint64_t written = 0;
    StandinUnitRecords(index, &written, nullptr);
    return written;
}

uint64_t UnitLostRecords(int index) {
    if (s_simBackend) return s_simBackend->Units().at(index)->LostRecords();
    uint64_t lost = 0;
    StandinUnitRecords(index, nullptr, &lost);
    return lost;
}

std::string BitStreamPath() {
    const auto path = std::filesystem::temp_directory_path() / "qvusb-test-Tessel.bin";
    if (!std::filesystem::exists(path)) {
        std::ofstream out(path, std::ios::binary);
        out << std::string(1000, 'B');
    }
    return path.string();
}

std::string FreshFolder(const std::string& name) {
    const auto path =
        std::filesystem::temp_directory_path() / ("qvusb-test-" + name + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(path);
    return path.string();
}

QVPlusHandle CreateHandle(const std::wstring& serial, const char* bitStreamPath) {
    QVPlusCreateParams params{};
    params.bitStreamPath = bitStreamPath;
    std::wcsncpy(params.deviceId, serial.c_str(), 19);
    params.captureMode = QVPLUS_CAPTURE_ANALOG;
    return QVPlus_Create(&params);
}

bool WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

QVPlusStatus StatusOf(QVPlusHandle handle) {
    QVPlusStatus status{};
    QVPlus_GetStatus(handle, &status);
    return status;
}

bool WaitReady(QVPlusHandle handle) {
    return WaitFor([&] { return StatusOf(handle).unitReady == 1; });
}

bool WaitIdle(QVPlusHandle handle) {
    return WaitFor([&] { return StatusOf(handle).running == 0; }, std::chrono::seconds(60));
}

uint64_t RateOf(uint8_t samplingCode) {
    static const uint64_t rates[3] = {102400, 1048576, 10485760};
    return rates[samplingCode];
}

QVPlusStartParams CounterStartParams(uint8_t samplingCode) {
    QVPlusStartParams params{};
    params.kind = 1;
    params.samplingCode = samplingCode;
    params.splitSize = 512LL * 1024 * 1024;
    params.filePrefix = "";
    params.dataCallback = &CounterSink::OnData;
    return params;
}

}  // namespace qvusb::test
