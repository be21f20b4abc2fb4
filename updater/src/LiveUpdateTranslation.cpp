#include "updater/LiveUpdateTranslation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTranslator>

#include "platform/Programs.h"

namespace {

QString languageFilePath() { return platform::applicationDir() + QStringLiteral("/language/language"); }

QString translationFolder() { return platform::applicationDir() + QStringLiteral("/language/qm/LiveUpdate/"); }

}  // namespace

bool readLanguageFile(QString* name) {
    QFile file(languageFilePath());
    if (!file.exists()) {
        if (!file.open(QIODevice::WriteOnly)) return false;
        file.write("English");
        file.close();
    }
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QString content = QString::fromUtf8(file.readAll());
    *name = content.isEmpty() ? QStringLiteral("English") : content;
    return true;
}

bool loadTranslation(QTranslator* translator) {
    QString language;
    if (!readLanguageFile(&language)) return false;
    const QString wanted = language + QStringLiteral(".qm");

    const QDir folder(translationFolder());
    if (!folder.exists()) return false;
    const QStringList names =
        folder.entryList({QStringLiteral("*.qm")}, QDir::Files | QDir::NoSymLinks | QDir::Hidden, QDir::Name);
    if (names.isEmpty()) return false;

    QString selected = QStringLiteral("English.qm");
    for (const QString& name : names) {
        if (name.contains(wanted)) {
            selected = name;
            break;
        }
    }
    translator->load(translationFolder() + selected);
    QCoreApplication::installTranslator(translator);
    return true;
}
