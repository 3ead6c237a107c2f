#pragma once
// The program's interface language: the environment dialog's saved choice
// (QSettings "Environment/Language": "auto", "ja" or "en") and its application at
// start-up. The language holds for the whole run; a new choice takes effect at the
// next start. GUI thread only.

#include "QVxWinCommon/QVxLanguage.h"

#include <QString>

class QSettings;

inline constexpr const char* kLanguageSettingKey = "Environment/Language";

// The saved choice: "ja", "en" or "auto" (also for a missing or unknown value).
QString SavedLanguageChoice(const QSettings& settings);
void SaveLanguageChoice(QSettings& settings, const QString& choice);

// The run's language: `commandLineChoice` (--lang) when given, else the saved
// choice, else the locale (LC_ALL, LC_MESSAGES, LANG).
QVxLanguage ChooseProgramLanguage(const QString& commandLineChoice, const QSettings& settings);

// Sets the language of the program's and the GUI library's texts (one setting in
// the shared QVxWinCommon). Call before the first window is made.
void ApplyProgramLanguage(QVxLanguage language);
