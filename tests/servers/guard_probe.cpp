// Plays a test program that dies without cleaning up: starts guarded servers,
// prints "pid <n> prefix <folder>", then crashes (abort) or waits to be killed.
//   zn_guard_probe abort|wait nginx|tree
// "tree" is a shell that ignores SIGTERM and runs two children that ignore it
// too, so only SIGKILL ends them.
#include "testsupport/GuardedProcess.h"
#include "testsupport/TestNginx.h"
#include "testsupport/TestPrefix.h"

#include <QCoreApplication>
#include <QTextStream>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <memory>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) return 2;
    const bool crash = args.at(1) == QLatin1String("abort");

    // Only what the mode needs: a prefix nobody guards would stay behind.
    std::unique_ptr<testsupport::TestNginx> nginx;
    std::unique_ptr<testsupport::TestPrefix> treePrefix;
    testsupport::GuardedProcess tree;
    qint64 pid = 0;
    QString prefix;
    QString error;
    if (args.at(2) == QLatin1String("nginx")) {
        nginx.reset(new testsupport::TestNginx);
        if (!nginx->start(&error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 3;
        }
        pid = nginx->pid();
        prefix = nginx->prefix();
    } else {
        treePrefix.reset(new testsupport::TestPrefix(QStringLiteral("guard-probe")));
        tree.setProgram(QStringLiteral("/bin/sh"));
        tree.setArguments({QStringLiteral("-c"), QStringLiteral("trap '' TERM; sleep 300 & sleep 300 & wait")});
        tree.setStopGraceMs(300);
        tree.setAbandonedCleanupDir(treePrefix->path());
        prefix = treePrefix->path();
        if (!tree.start(&error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 3;
        }
        pid = tree.pid();
        // The shell and both children, before anything dies.
        while (testsupport::processGroupMembers(pid).size() < 3) QThread::msleep(10);
    }
    std::printf("pid %lld prefix %s\n", static_cast<long long>(pid), qPrintable(prefix));
    std::fflush(stdout);
    if (crash) std::abort();  // no destructor runs
    for (;;) QThread::sleep(60);
}
