#include "testsupport/TestPrefix.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace testsupport {

TestPrefix::TestPrefix(const QString& tag) : m_dir(QDir::tempPath() + QStringLiteral("/zn-%1-XXXXXX").arg(tag)) {
    if (qEnvironmentVariableIntValue("ZN_KEEP_TEST_PREFIX") != 0) m_dir.setAutoRemove(false);
}

QString TestPrefix::filePath(const QString& relative) const {
    const QString p = m_dir.path() + QLatin1Char('/') + relative;
    QDir().mkpath(QFileInfo(p).absolutePath());
    return p;
}

QString TestPrefix::makeDir(const QString& relative) const {
    const QString p = m_dir.path() + QLatin1Char('/') + relative;
    QDir().mkpath(p);
    return p;
}

QString TestPrefix::writeFile(const QString& relative, const QByteArray& content) const {
    const QString p = filePath(relative);
    QFile f(p);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(content) != content.size()) return QString();
    return p;
}

}  // namespace testsupport
