#pragma once
// Self-registering sub-commands of qvanalog. A command group defines
//   static const qvanalog::Registration reg{"info", "info REPO_FOLDER [--json]", &RunInfo};
// in its own source file.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qvanalog {

// Arguments after the command name: positional words and --options.
class Args {
public:
    Args(std::vector<std::string> words) : m_words(std::move(words)) {}

    bool Flag(const std::string& name) const;                          // "--json"
    std::optional<std::string> Option(const std::string& name) const;  // "--index N"
    std::vector<std::string> Positionals() const;  // words that are neither flags nor option values
    const std::vector<std::string>& Words() const { return m_words; }
    // Every value of an option that may be given more than once ("--limit A --limit B").
    std::vector<std::string> Options(const std::string& name) const;
    // The first "--name" word given more than once, if any: every option is taken once,
    // except those in `repeatable`.
    std::optional<std::string> RepeatedOption(const std::vector<std::string>& repeatable = {}) const;

    // Options that take a value; needed so Positionals() can skip the values.
    void DeclareValueOptions(std::vector<std::string> names) { m_valueOptions = std::move(names); }

private:
    bool TakesValue(const std::string& name) const;
    std::vector<std::string> m_words;
    std::vector<std::string> m_valueOptions;
};

using CommandFn = std::function<int(Args&)>;

struct CommandInfo {
    std::string usage;
    CommandFn run;
    std::vector<std::string> repeatable;  // options it takes more than once
};

std::map<std::string, CommandInfo>& Registry();

struct Registration {
    Registration(const std::string& name, const std::string& usage, CommandFn run,
                 std::vector<std::string> repeatable = {}) {
        Registry()[name] = CommandInfo{usage, std::move(run), std::move(repeatable)};
    }
};

// A unit's serial number (ASCII) as text; any other character becomes '?'.
inline std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out.push_back(c > 0 && c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

// Prints "qvanalog: <message>" to stderr and returns exit status 1.
int Fail(const std::string& message);

// What to say of USB units that the device library counts but cannot open: usually the user
// may not open them because the udev rule is not installed.
inline constexpr const char* kUnitAccessHint =
    "the user may lack the permission to open it: install the udev rule (README, \"Real units: the "
    "udev rule\")";

}  // namespace qvanalog
