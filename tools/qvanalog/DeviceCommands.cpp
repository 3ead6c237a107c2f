// Unit commands: devices (the attached NAVO+ units, through the device library's own functions).

#include "Command.h"

#include "qvusb/qvusb_api.h"

#include <spdlog/spdlog.h>
#include <nlohmann/json.hpp>

#include <iostream>
#include <string>

namespace {

// Device library messages (levels 0..4) go to the default logger one level up its scale.
void ForwardLibraryLog(const char* sourceModule, uint32_t line, uint32_t level, const char* message) {
    static const spdlog::level::level_enum levels[] = {spdlog::level::debug, spdlog::level::info,
                                                       spdlog::level::warn, spdlog::level::err,
                                                       spdlog::level::critical};
    spdlog::log(spdlog::source_loc{sourceModule, static_cast<int>(line), ""}, levels[level > 4 ? 4 : level],
                "{}", message);
}

std::string Narrow(const wchar_t* text) {
    std::string out;
    for (; *text != L'\0'; ++text) out.push_back(*text > 0 && *text < 0x80 ? static_cast<char>(*text) : '?');
    return out;
}

int RunDevices(qvanalog::Args& args) {
    const bool json = args.Flag("--json");
    for (const auto& word : args.Words())
        if (word != "--json") return qvanalog::Fail("devices: unknown argument '" + word + "'");
    QVPlus_SetLogCallback(&ForwardLibraryLog, nullptr);
    nlohmann::json devices = nlohmann::json::array();
    const uint8_t count = QVPlus_DeviceCount();
    for (uint8_t index = 0; index < count; ++index) {
        wchar_t id[20] = {};
        uint64_t length = 0;
        if (QVPlus_GetDeviceID(index, id, &length) == 0) {
            std::cerr << "qvanalog: unit " << static_cast<int>(index) << " could not be opened\n";
            continue;
        }
        devices.push_back({{"id", Narrow(id)}, {"index", index}});
    }
    QVPlus_SetLogCallback(nullptr, nullptr);
    if (json) {
        std::cout << nlohmann::json{{"devices", devices}}.dump() << "\n";
    } else if (devices.empty()) {
        std::cout << "no units\n";
    } else {
        for (const auto& d : devices)
            std::cout << d["index"].get<int>() << "  " << d["id"].get<std::string>() << "\n";
    }
    return 0;
}

const qvanalog::Registration reg{"devices", "devices [--json]             # attached units: index and id",
                                 &RunDevices};

}  // namespace
