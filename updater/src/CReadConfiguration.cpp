#include "updater/CReadConfiguration.h"

#include <QCoreApplication>
#include <QDebug>
#include <QIODevice>
#include <QSettings>

#include "updater/LiveUpdateTranslation.h"
#include "platform/Programs.h"
#include "UpdaterLogging.h"

Q_LOGGING_CATEGORY(lcUpdaterStartup, "velkin.startup")

namespace {

// Reads an INI text as UTF-8 into "key" and "Group/key" entries, each value
// whole: sections "[Name]" ("[General]" holds the top-level keys), lines
// "key=value", comment lines beginning with ";" or "#". A value in double
// quotes loses the quotes.
bool readWholeValueIni(QIODevice& device, QSettings::SettingsMap& map) {
    QString text = QString::fromUtf8(device.readAll());
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    QString group;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (QString line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#'))) continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            group = line.mid(1, line.size() - 2).trimmed();
            if (group.compare(QLatin1String("General"), Qt::CaseInsensitive) == 0) group.clear();
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0) continue;
        const QString key = line.left(eq).trimmed();
        QString value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
            value = value.mid(1, value.size() - 2);
        map.insert(group.isEmpty() ? key : group + QLatin1Char('/') + key, value);
    }
    return true;
}

bool writeNothing(QIODevice&, const QSettings::SettingsMap&) { return false; }

QSettings::Format wholeValueIniFormat() {
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("ini"), readWholeValueIni, writeNothing);
    return format;
}

}  // namespace

CReadConfiguration::CReadConfiguration(QObject* parent) : QObject(parent) {}

CReadConfiguration* CReadConfiguration::GetInstance() {
    static CReadConfiguration* instance = nullptr;
    if (!instance) {
        instance = new CReadConfiguration(QCoreApplication::instance());
        // Freed with the application object: forget it then.
        connect(instance, &QObject::destroyed, [] { instance = nullptr; });
    }
    return instance;
}

void CReadConfiguration::ReadConfig() {
    const QString app = platform::applicationDir();
    QSettings settings(app + QStringLiteral("/") + QStringLiteral("LiveUpdateSetting"), wholeValueIniFormat());
    m_strPID = settings.value(QStringLiteral("PID"), QString()).toString();
    m_strEXE = settings.value(QStringLiteral("EXE"), QString()).toString();
    m_strPName = settings.value(QStringLiteral("Name"), QString()).toString();
    m_strPInfo = settings.value(QStringLiteral("Info"), QString()).toString();
    m_strTitle = settings.value(QStringLiteral("Title"), QString()).toString();
    m_strUrl = settings.value(QStringLiteral("Url"), QString()).toString();
    m_strLanguage.clear();

    QString language;
    if (readLanguageFile(&language)) {
        m_strLanguage = language;
        settings.beginGroup(QStringLiteral("Info"));
        m_strPInfo = settings.value(m_strLanguage, QString()).toString();
        settings.endGroup();
    }
    qCDebug(lcUpdaterStartup) << "m_strPID =" << m_strPID << "m_strEXE =" << m_strEXE << "m_strPName=" << m_strPName
                              << "m_strPInfo=" << m_strPInfo;
}
