// Unit commands: devices (the units the device library counts, and whether each can be opened).

#include "Command.h"

#include "QVxWinCommon/DataClasses/QVxDeviceManager.h"
#include "qvusb/qvusb_api.h"

#include <spdlog/spdlog.h>
#include <nlohmann/json.hpp>

#include <iostream>
#include <string>

using qvanalog::Narrow;

namespace {

// Device library messages (levels 0..4) go to the default logger one level up its scale.
void ForwardLibraryLog(const char* sourceModule, uint32_t line, uint32_t level, const char* message) {
    static const spdlog::level::level_enum levels[] = {spdlog::level::debug, spdlog::level::info,
                                                       spdlog::level::warn, spdlog::level::err,
                                                       spdlog::level::critical};
    spdlog::log(spdlog::source_loc{sourceModule, static_cast<int>(line), ""}, levels[level > 4 ? 4 : level],
                "{}", message);
}

// Every unit the library counts, with its state: "ok" when its serial number could be read,
// "cannot be opened" otherwise (listed without an id).
int RunDevices(qvanalog::Args& args) {
    const bool json = args.Flag("--json");
    for (const auto& word : args.Words())
        if (word != "--json") return qvanalog::Fail("devices: unknown argument '" + word + "'");
    QVPlus_SetLogCallback(&ForwardLibraryLog, nullptr);
    const std::vector<QVxUnitListing> units = QVxDeviceManager::ListUnits();
    QVPlus_SetLogCallback(nullptr, nullptr);
    nlohmann::ordered_json devices = nlohmann::ordered_json::array();
    std::size_t unopened = 0;
    for (const QVxUnitListing& unit : units) {
        if (!unit.opened) ++unopened;
        devices.push_back({{"id", unit.opened ? nlohmann::ordered_json(Narrow(unit.id)) : nullptr},
                           {"index", unit.index},
                           {"state", unit.opened ? "ok" : "cannot be opened"}});
    }
    if (json) {
        std::cout << nlohmann::ordered_json{{"devices", devices}}.dump() << "\n";
    } else if (devices.empty()) {
        std::cout << "no units\n";
    } else {
        for (const QVxUnitListing& unit : units)
            std::cout << unit.index << "  " << (unit.opened ? Narrow(unit.id) : "(cannot be opened)") << "\n";
    }
    if (unopened > 0)
        std::cerr << "qvanalog: " << unopened << " unit(s) found cannot be opened; "
                  << qvanalog::kUnitAccessHint << "\n";
    return 0;
}

const qvanalog::Registration reg{"devices", "devices [--json]             # attached units: index and id",
                                 &RunDevices};

}  // namespace
