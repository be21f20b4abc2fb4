#include "AppPaths.h"

#include <QDir>

#include "ZnStyleCommon.h"
#include "platform/Programs.h"

void InitAppPaths() {
    const QString app = platform::applicationDir();
    g_styleCommon.setFontFamily(QStringLiteral("Segoe UI"));
    g_styleCommon.setSkinPath(app + QStringLiteral("/skin/"));
    g_styleCommon.setQssPath(app + QStringLiteral("/skin/Qss/"));
    g_styleCommon.setBackupPath(app + QStringLiteral("/backup/"));
    g_styleCommon.setTempPath(app + QStringLiteral("/temp/"));

    // Failure to create it is not an error: nothing at start-up writes there.
    const QString logPath = app + QStringLiteral("/Log");
    QDir logDir(logPath);
    if (!logDir.exists()) logDir.mkdir(logPath);
}
