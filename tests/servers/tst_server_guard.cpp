// The guard around every test server: no server survives a test program that
// crashes or is killed; stop() ends servers that ignore SIGTERM and their whole
// process group; a dead test's prefix is removed; start errors, exit codes,
// output, environment and clean-up files behave as documented.
#include "NetHelpers.h"

#include "testsupport/GuardedProcess.h"
#include "testsupport/ServerUtil.h"
#include "testsupport/TestPrefix.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QtTest>

#include <csignal>

using namespace testsupport;

namespace {

// Waits (at most timeoutMs) until `cond` holds.
template <typename Cond>
bool waitFor(Cond cond, int timeoutMs = 15000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!cond()) {
        if (deadline.hasExpired()) return false;
        QThread::msleep(20);
    }
    return true;
}

QString readAllOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
}

}  // namespace

class TestServerGuard : public QObject {
    Q_OBJECT

private slots:
    void deadTestLeavesNoServer_data();
    void deadTestLeavesNoServer();
    void stopEndsAGroupThatIgnoresTerm();
    void startErrors_data();
    void startErrors();
    void exitOnItsOwn_data();
    void exitOnItsOwn();
    void outputEnvironmentAndDirectory();
    void serverGetsOnlyStandardDescriptors();
    void cleanupFiles();
};

void TestServerGuard::deadTestLeavesNoServer_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("kind");
    QTest::newRow("nginx-abort") << "abort"
                                 << "nginx";
    QTest::newRow("nginx-sigkill") << "wait"
                                   << "nginx";
    QTest::newRow("term-ignoring-tree-abort") << "abort"
                                              << "tree";
    QTest::newRow("term-ignoring-tree-sigkill") << "wait"
                                                << "tree";
}

void TestServerGuard::deadTestLeavesNoServer() {
    QFETCH(QString, how);
    QFETCH(QString, kind);
    if (kind == QLatin1String("nginx")) {
        ZN_REQUIRE_BINARY(QStringLiteral("nginx"));
        ZN_REQUIRE_BINARY(QStringLiteral("openssl"));
    }
    QProcess probe;
    probe.start(QStringLiteral(ZN_GUARD_PROBE), {how, kind});
    QVERIFY(probe.waitForStarted(5000));
    QByteArray line;
    QVERIFY(waitFor([&] {
        probe.waitForReadyRead(50);
        line += probe.readAllStandardOutput();
        return line.contains('\n') || probe.state() == QProcess::NotRunning;
    }));
    QVERIFY2(line.startsWith("pid "), qPrintable(line + probe.readAllStandardError()));
    const QList<QByteArray> words = line.trimmed().split(' ');
    QCOMPARE(words.size(), 4);
    const qint64 pid = words.at(1).toLongLong();
    const QString prefix = QString::fromLocal8Bit(words.at(3));
    QVERIFY(pid > 0);
    QVERIFY(QFileInfo(prefix).isDir());
    if (how == QLatin1String("wait")) {
        QVERIFY(processExists(pid));
        QVERIFY(processGroupMembers(pid).size() >= 2);  // nginx: master and worker; tree: shell and children
        probe.kill();                                   // SIGKILL: nothing of the probe runs any more
    }
    QVERIFY(probe.waitForFinished(10000));
    QCOMPARE(probe.exitStatus(), QProcess::CrashExit);

    QVERIFY2(waitFor([&] { return !processGroupExists(pid); }), qPrintable(QStringLiteral("still there: %1").arg([&] {
                 QStringList l;
                 for (qint64 p : processGroupMembers(pid)) l << QString::number(p);
                 return l.join(QLatin1Char(' '));
             }())));
    QVERIFY(!processExists(pid));
    // Nobody is left to remove the prefix: the guard did.
    QVERIFY2(waitFor([&] { return !QFileInfo::exists(prefix); }, 5000), qPrintable(prefix));
}

void TestServerGuard::stopEndsAGroupThatIgnoresTerm() {
    TestPrefix prefix(QStringLiteral("guard"));
    GuardedProcess p;
    p.setProgram(QStringLiteral("/bin/sh"));
    p.setArguments({QStringLiteral("-c"), QStringLiteral("trap '' TERM; sleep 300 & sleep 300 & wait")});
    p.setStopGraceMs(200);
    QString error;
    QVERIFY2(p.start(&error), qPrintable(error));
    QVERIFY(p.isRunning());
    QVERIFY(waitFor([&] { return processGroupMembers(p.pid()).size() == 3; }));
    const QList<qint64> members = processGroupMembers(p.pid());
    const qint64 guard = p.guardPid();
    p.stop();
    QVERIFY(!p.isRunning());
    for (qint64 m : members) QVERIFY2(!processExists(m), qPrintable(QString::number(m)));
    QVERIFY(!processGroupExists(p.pid()));
    QVERIFY(!processExists(guard));
    QCOMPARE(p.exitCode(), 128 + SIGKILL);
    p.stop();  // idempotent
}

void TestServerGuard::startErrors_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("workingDir");
    QTest::addColumn<QString>("expected");
    QTest::newRow("missing-program") << "/nonexistent/zn-server" << QString() << "No such file";
    QTest::newRow("not-executable") << "@PREFIX@/plain.txt" << QString() << "Permission denied";
    QTest::newRow("missing-directory") << "/bin/true"
                                       << "/nonexistent/dir"
                                       << "No such file";
}

void TestServerGuard::startErrors() {
    QFETCH(QString, program);
    QFETCH(QString, workingDir);
    QFETCH(QString, expected);
    TestPrefix prefix(QStringLiteral("guard"));
    QFile::setPermissions(prefix.writeFile(QStringLiteral("plain.txt"), "not a program\n"),
                          QFile::ReadOwner | QFile::WriteOwner);
    GuardedProcess p;
    p.setProgram(program.replace(QLatin1String("@PREFIX@"), prefix.path()));
    p.setWorkingDirectory(workingDir);
    QString error;
    QVERIFY(!p.start(&error));
    QVERIFY2(error.contains(expected), qPrintable(error));
    QVERIFY(!p.isRunning());
    QVERIFY(!processExists(p.pid()));
    QVERIFY(!processExists(p.guardPid()));
}

void TestServerGuard::exitOnItsOwn_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("exit-0") << "exit 0" << 0;
    QTest::newRow("exit-7") << "exit 7" << 7;
    QTest::newRow("killed-by-signal") << "kill -KILL $$" << 128 + SIGKILL;
    // The server exits but leaves a child behind in its group: it goes too.
    QTest::newRow("leaves-a-child") << "sleep 300 & exit 3" << 3;
}

void TestServerGuard::exitOnItsOwn() {
    QFETCH(QString, script);
    QFETCH(int, exitCode);
    GuardedProcess p;
    p.setProgram(QStringLiteral("/bin/sh"));
    p.setArguments({QStringLiteral("-c"), script});
    QString error;
    QVERIFY2(p.start(&error), qPrintable(error));
    QVERIFY(waitFor([&] { return !p.isRunning(); }));
    QCOMPARE(p.exitCode(), exitCode);
    QVERIFY(waitFor([&] { return !processGroupExists(p.pid()); }, 5000));
    p.stop();
}

void TestServerGuard::outputEnvironmentAndDirectory() {
    TestPrefix prefix(QStringLiteral("guard"));
    const QString log = prefix.filePath(QStringLiteral("out.log"));
    GuardedProcess p;
    p.setProgram(QStringLiteral("/bin/sh"));
    p.setArguments({QStringLiteral("-c"),
                    QStringLiteral("echo \"out $ZN_GUARD_VALUE\"; echo err >&2; pwd; read x || echo stdin-empty")});
    p.setEnvironment({QStringLiteral("ZN_GUARD_VALUE=42"), QStringLiteral("PATH=/usr/bin:/bin")});
    p.setWorkingDirectory(prefix.path());
    p.setLogFile(log);
    QString error;
    QVERIFY2(p.start(&error), qPrintable(error));
    QVERIFY(waitFor([&] { return !p.isRunning(); }));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(readAllOf(log), QStringLiteral("out 42\nerr\n%1\nstdin-empty\n").arg(prefix.path()));
}

void TestServerGuard::serverGetsOnlyStandardDescriptors() {
    // Another guarded server is running: its lifeline must not leak into this one
    // (a leaked write end would keep that guard from noticing a dead test).
    GuardedProcess other;
    other.setProgram(QStringLiteral("/bin/sleep"));
    other.setArguments({QStringLiteral("300")});
    QString error;
    QVERIFY2(other.start(&error), qPrintable(error));

    TestPrefix prefix(QStringLiteral("guard"));
    const QString log = prefix.filePath(QStringLiteral("fds.log"));
    GuardedProcess p;
    p.setProgram(QStringLiteral("/bin/sh"));
    p.setArguments({QStringLiteral("-c"),
                    QStringLiteral("for f in /proc/$$/fd/*; do printf '%s ' \"${f##*/}\"; readlink \"$f\"; done")});
    p.setLogFile(log);
    QVERIFY2(p.start(&error), qPrintable(error));
    QVERIFY(waitFor([&] { return !p.isRunning(); }));
    const QString fds = readAllOf(log);
    QVERIFY2(fds.contains(QLatin1String("0 /dev/null")), qPrintable(fds));
    QVERIFY2(fds.contains(QStringLiteral("1 %1").arg(log)), qPrintable(fds));
    QVERIFY2(fds.contains(QStringLiteral("2 %1").arg(log)), qPrintable(fds));
    // No lifeline, no report pipe.
    QVERIFY2(!fds.contains(QLatin1String("pipe:")) && !fds.contains(QLatin1String("socket:")), qPrintable(fds));
    VERIFY_STOPPED(other);
}

void TestServerGuard::cleanupFiles() {
    TestPrefix prefix(QStringLiteral("guard"));
    const QString onStop = prefix.writeFile(QStringLiteral("on-stop"), "x");
    const QString onExit = prefix.writeFile(QStringLiteral("on-exit"), "x");

    GuardedProcess stopped;
    stopped.setProgram(QStringLiteral("/bin/sleep"));
    stopped.setArguments({QStringLiteral("300")});
    stopped.setCleanupFiles({onStop});
    // Only a dead test process gets its folder removed, not an orderly stop.
    const QString kept = prefix.makeDir(QStringLiteral("kept"));
    stopped.setAbandonedCleanupDir(kept);
    QString error;
    QVERIFY2(stopped.start(&error), qPrintable(error));
    QVERIFY(QFile::exists(onStop));
    stopped.stop();
    QVERIFY(!QFile::exists(onStop));
    QVERIFY(QFileInfo(kept).isDir());

    // Removed by the guard itself when the server ends on its own.
    GuardedProcess exited;
    exited.setProgram(QStringLiteral("/bin/true"));
    exited.setCleanupFiles({onExit});
    exited.setAbandonedCleanupDir(kept);
    QVERIFY2(exited.start(&error), qPrintable(error));
    QVERIFY(waitFor([&] { return !exited.isRunning(); }));
    QVERIFY(!QFile::exists(onExit));
    exited.stop();
    QVERIFY(QFileInfo(kept).isDir());
}

QTEST_MAIN(TestServerGuard)
#include "tst_server_guard.moc"
