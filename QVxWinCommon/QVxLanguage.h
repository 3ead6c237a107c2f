#pragma once
// The language of the interface texts: Japanese (the default) or English. The
// string tables (QVxLoadGuiString, QVxLoadAppString) give the text of the current
// language. The program chooses it once at start-up, before any window or worker
// thread exists; it is not changed afterwards.
// The setting lives once in the shared QVxWinCommon library, so the program and
// the GUI library (libQVxWinGUICommon.so) read the same one.

#include <optional>
#include <span>
#include <string_view>

enum class QVxLanguage { kJapanese, kEnglish };

// "ja" or "en" (the values of --lang and of the saved choice); nothing otherwise.
std::optional<QVxLanguage> QVxParseLanguage(std::string_view text);

// The language of the locale as POSIX picks the message locale: the first of
// LC_ALL, LC_MESSAGES and LANG that is set and non-empty decides; English when it
// starts with "en", Japanese otherwise (also when none is set). Null means unset.
QVxLanguage QVxLanguageOfLocale(const char* lcAll, const char* lcMessages, const char* lang);

// QVxLanguageOfLocale on this process's environment.
QVxLanguage QVxLanguageOfEnvironment();

// The language chosen by, in this order: an explicit choice (--lang, or the
// environment dialog's saved entry; empty or "auto" means none), then the locale.
QVxLanguage QVxChooseLanguage(std::string_view explicitChoice);

void QVxSetLanguage(QVxLanguage language);
QVxLanguage QVxCurrentLanguage();

// One text of a string table in both languages. Placeholders (%s, %d, %1, {})
// are the same in number and order in both forms.
struct QVxStringRow {
    int id;
    std::string_view japanese;
    std::string_view english;
};

// The text of `id` in `rows` in the current language; "" for an unknown id.
std::string_view QVxFindText(std::span<const QVxStringRow> rows, int id);

// Picks the text of the current language: `japanese` or `english`.
inline std::string_view QVxLocalized(std::string_view japanese, std::string_view english) {
    return QVxCurrentLanguage() == QVxLanguage::kEnglish ? english : japanese;
}
