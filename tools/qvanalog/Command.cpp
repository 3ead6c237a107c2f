#include "Command.h"

#include <algorithm>
#include <iostream>
#include <set>

namespace qvanalog {

std::map<std::string, CommandInfo>& Registry() {
    static std::map<std::string, CommandInfo> registry;
    return registry;
}

bool Args::TakesValue(const std::string& name) const {
    return std::find(m_valueOptions.begin(), m_valueOptions.end(), name) != m_valueOptions.end();
}

bool Args::Flag(const std::string& name) const {
    return std::find(m_words.begin(), m_words.end(), name) != m_words.end();
}

std::optional<std::string> Args::Option(const std::string& name) const {
    for (std::size_t i = 0; i + 1 < m_words.size(); ++i) {
        if (m_words[i] == name) return m_words[i + 1];
    }
    return std::nullopt;
}

std::vector<std::string> Args::Options(const std::string& name) const {
    std::vector<std::string> values;
    for (std::size_t i = 0; i + 1 < m_words.size(); ++i) {
        if (m_words[i] == name) values.push_back(m_words[++i]);
    }
    return values;
}

std::optional<std::string> Args::RepeatedOption(const std::vector<std::string>& repeatable) const {
    std::set<std::string> seen;
    for (const std::string& w : m_words) {
        if (std::find(repeatable.begin(), repeatable.end(), w) != repeatable.end()) continue;
        if (w.size() > 2 && w.rfind("--", 0) == 0 && !seen.insert(w).second) return w;
    }
    return std::nullopt;
}

std::vector<std::string> Args::Positionals() const {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < m_words.size(); ++i) {
        const std::string& w = m_words[i];
        if (w.rfind("--", 0) == 0) {
            if (TakesValue(w)) ++i;
            continue;
        }
        out.push_back(w);
    }
    return out;
}

int Fail(const std::string& message) {
    std::cerr << "qvanalog: " << message << std::endl;
    return 1;
}

}  // namespace qvanalog
