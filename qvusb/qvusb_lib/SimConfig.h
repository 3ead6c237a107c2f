#pragma once
// Configuration of the simulated units, normally read from the environment:
//   QVPLUS_SIMULATED_UNITS  comma-separated serial numbers (a serial listed twice gives two units)
//   QVPLUS_SIM_SIGNAL       demo (default) or counter
//   QVPLUS_SIM_SPEED        max: the sample memory is always as full as it can be
//   QVPLUS_SIM_FAULTS       comma-separated faults, each optionally "@SECONDS" after the start
// The faults bulk-timeout, bulk-pipe, open-access and claim-busy are USB host errors: only the
// stand-in libusb of the tests acts on them (the simulated backend has no USB layer).

#include <string>
#include <vector>

namespace qvusb {

enum class SimSignal { kDemo, kCounter };

enum class SimFaultKind {
    kStatusFail,
    kUnplug,
    kBitStreamReject,
    kOpenFailOnce,
    kShortRead,
    kBulkTimeout,  // one bulk-IN transfer times out
    kBulkPipe,     // one bulk-IN transfer finds its endpoint halted
    kOpenAccess,   // every open is refused for want of permission
    kClaimBusy,    // every claim of the interface finds it busy
};

// The fault's word in QVPLUS_SIM_FAULTS ("status-fail", "unplug", ...).
const char* SimFaultName(SimFaultKind kind);

struct SimFault {
    SimFaultKind kind = SimFaultKind::kStatusFail;
    double atSeconds = 0.0;  // after the acquisition start; 0 = at the start
};

struct SimConfig {
    std::vector<std::wstring> serials;
    SimSignal signal = SimSignal::kDemo;
    bool maxSpeed = false;
    std::vector<SimFault> faults;

    // Unknown words are reported in errors (one text per word) and otherwise ignored.
    static SimConfig Parse(const std::string& units, const std::string& signal, const std::string& speed,
                           const std::string& faults, std::vector<std::string>* errors);
    static SimConfig FromEnvironment(std::vector<std::string>* errors);
    // The four variables joined, to see whether they changed since the last look.
    static std::string EnvironmentKey();
};

}  // namespace qvusb
