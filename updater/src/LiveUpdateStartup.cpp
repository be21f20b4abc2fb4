#include "updater/LiveUpdateStartup.h"

#include <QFile>

#include "toolkit/ZnStyleCommon.h"
#include "platform/Programs.h"

QStringList processArguments() {
    QFile file(QStringLiteral("/proc/self/cmdline"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    QByteArray data = file.readAll();
    if (data.endsWith('\0')) data.chop(1);
    QStringList arguments;
    for (const QByteArray& argument : data.split('\0')) arguments << QString::fromLocal8Bit(argument);
    return arguments;
}

QString extraNoteFromArguments(const QStringList& arguments, bool* found) {
    static const QString marker = QStringLiteral("-extraNote=");
    QString note;
    *found = false;
    for (const QString& argument : arguments) {
        const int at = argument.indexOf(marker);
        if (at < 0) continue;
        note = argument.mid(at + marker.size());
        *found = true;
    }
    return note;
}

QString skinFolderFor(const QString& skinPath) {
    if (skinPath.isEmpty()) return platform::applicationDir() + QStringLiteral("/skin/");
    if (skinPath.size() > 1 && !skinPath.endsWith(QLatin1Char('/'))) return skinPath + QLatin1Char('/');
    return skinPath;
}

int shadowWidthFor(int flagValue) {
    return flagValue >= 0 && flagValue <= kMaxShadowWidth ? flagValue : kDefaultShadowWidth;
}

void initStyleCommon(const QString& skinFolder) {
    ZnStyleCommon::setToolkitVariant(ZnToolkitVariant::Updater);
    const QString app = platform::applicationDir();
    g_styleCommon.setSkinPath(skinFolder);
    g_styleCommon.setBackupPath(app + QStringLiteral("/backup/"));
    g_styleCommon.setTempPath(app + QStringLiteral("/temp/"));
    g_styleCommon.setFontFamily(QStringLiteral("Segoe UI"));
}
