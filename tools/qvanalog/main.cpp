// qvanalog: command-line front end for recordings, sessions and units.

#include "Command.h"

#include "QVxWinCommon/QVxLanguage.h"

#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

// The usage of every command, one per line (continuations indented further). --help
// prints it on stdout; a missing or unknown command on stderr. The man page qvanalog(1)
// must name every option printed here (ctest qvanalog_manpage_options checks it).
void PrintUsage(std::ostream& out) {
    out << "usage: qvanalog [--lang ja|en] COMMAND ...\n"
           "       qvanalog --help | --version\n"
           "commands:\n";
    for (const auto& [name, info] : qvanalog::Registry()) out << "  qvanalog " << info.usage << "\n";
    out << "See qvanalog(1) for the options, the exit status and the environment.\n";
}

// "--help" or "--version" as the only word: prints on stdout and exits 0.
std::optional<int> RunInformationOption(const std::vector<std::string>& words) {
    if (words.size() != 1) return std::nullopt;
    if (words.front() == "--help" || words.front() == "-h") {
        PrintUsage(std::cout);
        return 0;
    }
    if (words.front() == "--version") {
        std::cout << "qvanalog " << QVX_APP_VERSION << "\n";
        return 0;
    }
    return std::nullopt;
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
    if (const auto status = RunInformationOption(words)) return *status;
    if (words.empty()) {
        PrintUsage(std::cerr);
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
        PrintUsage(std::cerr);
        return 2;
    }
    qvanalog::Args args(std::move(words));
    // A repeated option would leave the user guessing which value counts.
    if (const auto repeated = args.RepeatedOption(it->second.repeatable))
        return qvanalog::Fail(*repeated + " is given more than once");
    try {
        return it->second.run(args);
    } catch (const std::exception& e) {
        return qvanalog::Fail(e.what());
    }
}
