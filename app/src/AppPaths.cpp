#include "app/AppPaths.h"

#include <QDir>

#include "toolkit/ZnStyleCommon.h"
#include "platform/Programs.h"

void InitAppPaths() {
    const QString app = platform::applicationDir();
    g_styleCommon.setUpForProgram(app);

    // Failure to create it is not an error: nothing at start-up writes there.
    const QString logPath = app + QStringLiteral("/Log");
    QDir logDir(logPath);
    if (!logDir.exists()) logDir.mkdir(logPath);
}
