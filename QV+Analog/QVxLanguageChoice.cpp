#include "QV+Analog/QVxLanguageChoice.h"

#include "QVxWinCommon/QVxLanguage.h"

#include <QSettings>

QString SavedLanguageChoice(const QSettings& settings) {
    const QString saved = settings.value(QString::fromLatin1(kLanguageSettingKey)).toString();
    return QVxParseLanguage(saved.toStdString()) ? saved : QStringLiteral("auto");
}

void SaveLanguageChoice(QSettings& settings, const QString& choice) {
    settings.setValue(QString::fromLatin1(kLanguageSettingKey), choice);
}

QVxLanguage ChooseProgramLanguage(const QString& commandLineChoice, const QSettings& settings) {
    const QString choice = commandLineChoice.isEmpty() ? SavedLanguageChoice(settings) : commandLineChoice;
    return QVxChooseLanguage(choice.toStdString());
}

void ApplyProgramLanguage(QVxLanguage language) {
    QVxSetLanguage(language);
}
