// qvanalog: command-line front end for recordings, sessions and units.

#include "Command.h"

#include "QVxWinCommon/QVxLanguage.h"

#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

namespace {

void PrintUsage() {
    std::cerr << "usage: qvanalog [--lang ja|en] COMMAND ...\n";
    for (const auto& [name, info] : qvanalog::Registry()) std::cerr << "  qvanalog " << info.usage << "\n";
}

// Takes "--lang ja|en" out of `words` (wherever it stands) and sets the language of
// the messages: the option, else the locale. False when the option's value is
// neither "ja" nor "en".
bool ApplyLanguageOption(std::vector<std::string>& words) {
    std::string choice;
    const auto option = std::find(words.begin(), words.end(), "--lang");
    if (option != words.end()) {
        if (option + 1 == words.end() || !QVxParseLanguage(*(option + 1))) return false;
        choice = *(option + 1);
        words.erase(option, option + 2);
    }
    QVxSetLanguage(QVxChooseLanguage(choice));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // Diagnostics go to stderr at warning level and above; stdout carries results only.
    auto logger =
        std::make_shared<spdlog::logger>("qvanalog", std::make_shared<spdlog::sinks::stderr_color_sink_mt>());
    logger->set_pattern("%v");  // plain messages, e.g. "Invalid DAT files."
    logger->set_level(spdlog::level::warn);
    spdlog::set_default_logger(std::move(logger));
    std::vector<std::string> words(argv + 1, argv + argc);
    if (!ApplyLanguageOption(words)) return qvanalog::Fail("--lang takes ja or en");
    if (words.empty()) {
        PrintUsage();
        return 2;
    }
    std::string name = words.front();
    words.erase(words.begin());
    // Two-word command groups ("settings init", "family list") register as "settings init".
    auto& registry = qvanalog::Registry();
    if (!words.empty() && registry.count(name + " " + words.front())) {
        name += " " + words.front();
        words.erase(words.begin());
    }
    auto it = registry.find(name);
    if (it == registry.end()) {
        PrintUsage();
        return 2;
    }
    qvanalog::Args args(std::move(words));
    // A repeated option would leave the user guessing which value counts.
    if (const auto repeated = args.RepeatedOption())
        return qvanalog::Fail(*repeated + " is given more than once");
    try {
        return it->second.run(args);
    } catch (const std::exception& e) {
        return qvanalog::Fail(e.what());
    }
}
