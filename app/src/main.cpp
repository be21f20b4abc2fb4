// Corvane, the main program: one instance at a time, a crash dump on a fault,
// the program's folders, no iTunes running, then the main window and the
// event loop.
#include <QApplication>

#include "app/AppPaths.h"
#include "startup/CrashDump.h"
#include "app/FixiTunes.h"
#include "startup/SingleInstanceGuard.h"
#include "toolkit/ZnStyleCommon.h"
#include "platform/Processes.h"

namespace {

// Exit code of a start without a usable repair engine.
constexpr int kExitEngineMissing = 2;

}  // namespace

int main(int argc, char* argv[]) {
    // A line of the debug output is the message alone, without the name of its
    // logging category (QT_MESSAGE_PATTERN, when set, still decides).
    qSetMessagePattern(QStringLiteral("%{message}"));
    QApplication app(argc, argv);
    // The forms name Windows fonts; they are drawn with an installed font here.
    ZnStyleCommon::installPlatformFonts();

    // A second start ends at once and silently.
    CSingleInstanceGuard guard;
    if (!guard.Acquire(QStringLiteral("Corvane"))) {
        guard.Release();
        return -1;
    }

    SetCrashDumpHandler();
    InitAppPaths();
    // iTunes keeps the files open that repairs and cleaning work on.
    platform::KillProcessByName(QStringLiteral("iTunes.exe"));

    int result = 0;
    {
        FixiTunes mainWindow;
        if (!mainWindow.IsEngineLoaded()) {
            mainWindow.ShowEngineLoadError();
            guard.Release();
            return kExitEngineMissing;
        }
        mainWindow.show();
        result = app.exec();
    }
    guard.Release();
    return result;
}
