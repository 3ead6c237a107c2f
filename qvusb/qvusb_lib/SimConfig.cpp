#include "qvusb/qvusb_lib/SimConfig.h"

#include <cstdlib>
#include <sstream>

namespace qvusb {

namespace {

std::string GetEnv(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream stream(text);
    std::string word;
    while (std::getline(stream, word, ',')) {
        const auto first = word.find_first_not_of(" \t");
        const auto last = word.find_last_not_of(" \t");
        if (first == std::string::npos) continue;
        out.push_back(word.substr(first, last - first + 1));
    }
    return out;
}

constexpr SimFaultKind kAllFaults[] = {
    SimFaultKind::kStatusFail,   SimFaultKind::kUnplug,     SimFaultKind::kBitStreamReject,
    SimFaultKind::kOpenFailOnce, SimFaultKind::kShortRead,  SimFaultKind::kBulkTimeout,
    SimFaultKind::kBulkPipe,     SimFaultKind::kOpenAccess, SimFaultKind::kClaimBusy,
};

bool ParseFaultName(const std::string& name, SimFaultKind& kind) {
    for (SimFaultKind candidate : kAllFaults) {
        if (name == SimFaultName(candidate)) {
            kind = candidate;
            return true;
        }
    }
    return false;
}

}  // namespace

const char* SimFaultName(SimFaultKind kind) {
    switch (kind) {
        case SimFaultKind::kStatusFail:
            return "status-fail";
        case SimFaultKind::kUnplug:
            return "unplug";
        case SimFaultKind::kBitStreamReject:
            return "bitstream-reject";
        case SimFaultKind::kOpenFailOnce:
            return "open-fail-once";
        case SimFaultKind::kShortRead:
            return "short-read";
        case SimFaultKind::kBulkTimeout:
            return "bulk-timeout";
        case SimFaultKind::kBulkPipe:
            return "bulk-pipe";
        case SimFaultKind::kOpenAccess:
            return "open-access";
        case SimFaultKind::kClaimBusy:
            return "claim-busy";
    }
    return "";
}

SimConfig SimConfig::Parse(const std::string& units, const std::string& signal, const std::string& speed,
                           const std::string& faults, std::vector<std::string>* errors) {
    auto report = [errors](const std::string& text) {
        if (errors) errors->push_back(text);
    };
    SimConfig config;
    for (const std::string& serial : SplitList(units)) {
        std::wstring wide;
        bool ascii = true;
        for (unsigned char c : serial) {
            if (c < 0x20 || c >= 0x7F) ascii = false;
            wide.push_back(static_cast<wchar_t>(c));
        }
        if (!ascii)
            report("QVPLUS_SIMULATED_UNITS: serial number with non-ASCII characters ignored");
        else
            config.serials.push_back(wide);
    }
    if (signal == "counter")
        config.signal = SimSignal::kCounter;
    else if (!signal.empty() && signal != "demo")
        report("QVPLUS_SIM_SIGNAL: unknown signal '" + signal + "', using demo");
    if (speed == "max")
        config.maxSpeed = true;
    else if (!speed.empty() && speed != "real")
        report("QVPLUS_SIM_SPEED: unknown speed '" + speed + "', using real time");
    for (const std::string& item : SplitList(faults)) {
        SimFault fault;
        const auto at = item.find('@');
        const std::string name = item.substr(0, at);
        if (!ParseFaultName(name, fault.kind)) {
            report("QVPLUS_SIM_FAULTS: unknown fault '" + name + "' ignored");
            continue;
        }
        if (at != std::string::npos) {
            const std::string seconds = item.substr(at + 1);
            char* end = nullptr;
            fault.atSeconds = std::strtod(seconds.c_str(), &end);
            if (seconds.empty() || end == nullptr || *end != '\0' || !(fault.atSeconds >= 0.0)) {
                report("QVPLUS_SIM_FAULTS: bad time in '" + item + "' ignored");
                continue;
            }
        }
        config.faults.push_back(fault);
    }
    return config;
}

SimConfig SimConfig::FromEnvironment(std::vector<std::string>* errors) {
    return Parse(GetEnv("QVPLUS_SIMULATED_UNITS"), GetEnv("QVPLUS_SIM_SIGNAL"), GetEnv("QVPLUS_SIM_SPEED"),
                 GetEnv("QVPLUS_SIM_FAULTS"), errors);
}

std::string SimConfig::EnvironmentKey() {
    return GetEnv("QVPLUS_SIMULATED_UNITS") + '\n' + GetEnv("QVPLUS_SIM_SIGNAL") + '\n' +
           GetEnv("QVPLUS_SIM_SPEED") + '\n' + GetEnv("QVPLUS_SIM_FAULTS");
}

}  // namespace qvusb
