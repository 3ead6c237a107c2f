#include "QVxWinCommon/QVxLanguage.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>

namespace {

std::atomic<QVxLanguage> g_language{QVxLanguage::kJapanese};

bool IsSet(const char* value) {
    return value != nullptr && *value != '\0';
}

}  // namespace

std::optional<QVxLanguage> QVxParseLanguage(std::string_view text) {
    if (text == "ja") return QVxLanguage::kJapanese;
    if (text == "en") return QVxLanguage::kEnglish;
    return std::nullopt;
}

QVxLanguage QVxLanguageOfLocale(const char* lcAll, const char* lcMessages, const char* lang) {
    const char* deciding = IsSet(lcAll) ? lcAll : IsSet(lcMessages) ? lcMessages : IsSet(lang) ? lang : "";
    return std::string_view(deciding).starts_with("en") ? QVxLanguage::kEnglish : QVxLanguage::kJapanese;
}

QVxLanguage QVxLanguageOfEnvironment() {
    return QVxLanguageOfLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

QVxLanguage QVxChooseLanguage(std::string_view explicitChoice) {
    if (const auto chosen = QVxParseLanguage(explicitChoice)) return *chosen;
    return QVxLanguageOfEnvironment();
}

void QVxSetLanguage(QVxLanguage language) {
    g_language.store(language, std::memory_order_relaxed);
}

QVxLanguage QVxCurrentLanguage() {
    return g_language.load(std::memory_order_relaxed);
}

std::string_view QVxFindText(std::span<const QVxStringRow> rows, int id) {
    const auto it =
        std::find_if(rows.begin(), rows.end(), [id](const QVxStringRow& row) { return row.id == id; });
    if (it == rows.end()) return {};
    return QVxLocalized(it->japanese, it->english);
}
