#include "platform/Programs.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

namespace platform {
namespace {
QString& applicationDirOverride() {
    static QString dir;
    return dir;
}

QString stripSuffix(const QString& name, const QString& suffix) {
    if (name.endsWith(suffix, Qt::CaseInsensitive)) return name.left(name.size() - suffix.size());
    return name;
}
}  // namespace

QString applicationDir() {
    const QString& over = applicationDirOverride();
    if (!over.isEmpty()) return over;
    return QCoreApplication::applicationDirPath();
}

void setApplicationDir(const QString& dir) {
    QString d = dir;
    while (d.size() > 1 && d.endsWith(QLatin1Char('/'))) d.chop(1);
    applicationDirOverride() = d;
}

QString processName(const QString& programName) { return stripSuffix(programName, QStringLiteral(".exe")); }

QString programPath(const QString& programName) {
    const QString base = processName(programName);
    const QString local = applicationDir() + QLatin1Char('/') + base;
    if (base == QLatin1String("7z") && !QFileInfo::exists(local)) {
        const QString system = QStandardPaths::findExecutable(QStringLiteral("7z"));
        if (!system.isEmpty()) return system;
    }
    return local;
}

QString libraryPath(const QString& libraryName) {
    return applicationDir() + QStringLiteral("/lib") + stripSuffix(libraryName, QStringLiteral(".dll")) +
           QStringLiteral(".so");
}

}  // namespace platform
