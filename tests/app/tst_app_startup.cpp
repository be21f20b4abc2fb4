// Start-up of the main program: the style object's folders and font family,
// the Log folder, one instance at a time and the end of a running iTunes (the
// program itself is run in a temporary application folder).
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QtTest>

#include <signal.h>
#include <sys/stat.h>

#include "app/AppPaths.h"
#include "AppTestSupport.h"
#include "toolkit/ZnStyleCommon.h"
#include "testsupport/GuardedProcess.h"

namespace {

// An application folder holding a copy of the program (it finds its folder
// from its own file, so a link would not do), the engine, the skin and fake
// outside programs. Pellact stays running, as the real one does, holding
// whatever descriptors it inherited.
class ProgramFolder {
public:
    ProgramFolder() {
        m_app = m_dir.path() + QStringLiteral("/app");
        m_runtime = m_dir.path() + QStringLiteral("/run");
        QDir().mkpath(m_app);
        QDir().mkpath(m_runtime);
        ::chmod(QFile::encodeName(m_runtime).constData(), 0700);
        m_ok = QFile::copy(QStringLiteral(ZN_APP_DIR "/Corvane"), program()) &&
               QFile::link(QStringLiteral(ZN_APP_DIR "/libSorvel.so"), m_app + QStringLiteral("/libSorvel.so")) &&
               QFile::link(QStringLiteral(ZN_APP_DIR "/skin"), m_app + QStringLiteral("/skin")) &&
               apptest::writeFakeProgram(pellact(), QStringLiteral("echo $$ >> \"$0.pids\"\nexec sleep 60")) &&
               apptest::writeFakeProgram(m_app + QStringLiteral("/Velkin")) &&
               apptest::writeFakeProgram(m_app + QStringLiteral("/Feedback"));
    }
    ~ProgramFolder() {
        // The Pellact stand-ins we caused to start.
        for (qint64 pid : pellactPids()) ::kill(static_cast<pid_t>(pid), SIGKILL);
    }
    QList<qint64> pellactPids() const {
        QList<qint64> out;
        QFile pids(pellact() + QStringLiteral(".pids"));
        if (pids.open(QIODevice::ReadOnly))
            for (const QByteArray& line : pids.readAll().split('\n'))
                if (line.trimmed().toLongLong() > 0) out << line.trimmed().toLongLong();
        return out;
    }
    bool isValid() const { return m_dir.isValid() && m_ok; }
    QString app() const { return m_app; }
    QString program() const { return m_app + QStringLiteral("/Corvane"); }
    QString pellact() const { return m_app + QStringLiteral("/Pellact"); }
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime);
        env.insert(QStringLiteral("SORVEL_ROOT"), m_dir.path() + QStringLiteral("/no-tree"));
        env.remove(QStringLiteral("SORVEL_SCRIPT"));
        for (const char* variable : {"CORVANE_PRODUCT_INFO_SERVER", "CORVANE_CONFIG_SERVER", "CORVANE_UPDATE_SERVER"})
            env.insert(QLatin1String(variable), QStringLiteral("http://127.0.0.1:9"));
        return env;
    }
    void configure(testsupport::GuardedProcess& process) const {
        process.setProgram(program());
        process.setWorkingDirectory(m_dir.path());
        process.setEnvironment(environment().toStringList());
        process.setStopGraceMs(3000);
    }

private:
    QTemporaryDir m_dir;
    QString m_app;
    QString m_runtime;
    bool m_ok = false;
};

}  // namespace

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void appPathsFillTheStyleObjectAndMakeTheLogFolder() {
        QTemporaryDir dir;
        platform::setApplicationDir(dir.path());
        QVERIFY(!QFileInfo::exists(dir.path() + QStringLiteral("/Log")));
        InitAppPaths();
        QCOMPARE(g_styleCommon.getSkinPath(), dir.path() + QStringLiteral("/skin/"));
        QCOMPARE(g_styleCommon.getQssPath(), dir.path() + QStringLiteral("/skin/Qss/"));
        QCOMPARE(g_styleCommon.getBackupPath(), dir.path() + QStringLiteral("/backup/"));
        QCOMPARE(g_styleCommon.getTempPath(), dir.path() + QStringLiteral("/temp/"));
        QCOMPARE(g_styleCommon.getFont(15).family(), QStringLiteral("Segoe UI"));
        QVERIFY(QFileInfo(dir.path() + QStringLiteral("/Log")).isDir());
        // Only "Log" is made; the other folders are made by those who use them.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList({"Log"}));

        // An existing Log folder and what it holds stay.
        QFile kept(dir.path() + QStringLiteral("/Log/kept.txt"));
        QVERIFY(kept.open(QIODevice::WriteOnly));
        kept.close();
        InitAppPaths();
        QVERIFY(QFileInfo::exists(kept.fileName()));
        platform::setApplicationDir(QString());
    }

    // A second start ends at once with -1 (255) and builds no window, while the
    // first keeps running; once the first has ended the next start is a first
    // instance again, although the Pellact it started is still running.
    void oneInstanceAtATime() {
        ProgramFolder folder;
        QVERIFY(folder.isValid());

        testsupport::GuardedProcess first;
        folder.configure(first);
        QString error;
        QVERIFY2(first.start(&error), qPrintable(error));
        // The window is built once the first start holds the instance and has
        // made its Log folder.
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(folder.app() + QStringLiteral("/Log")).isDir(), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(apptest::startCount(folder.pellact()), 1, 20000);

        QProcess second;
        second.setProcessEnvironment(folder.environment());
        second.start(folder.program(), QStringList());
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 255);
        QVERIFY(first.isRunning());
        QCOMPARE(apptest::startCount(folder.pellact()), 1);

        first.stop();
        QVERIFY(!first.isRunning());
        // The Pellact of the first start lives on (in a session of its own).
        const qint64 pellactPid = folder.pellactPids().value(0);
        QVERIFY(pellactPid > 0);
        QVERIFY(testsupport::processExists(pellactPid));

        testsupport::GuardedProcess third;
        folder.configure(third);
        QVERIFY2(third.start(&error), qPrintable(error));
        QTRY_COMPARE_WITH_TIMEOUT(apptest::startCount(folder.pellact()), 2, 20000);
        QVERIFY(third.isRunning());
        third.stop();
    }

    // The start ends a running iTunes: here the demo's iTunes program, which
    // runs until it is ended and is found by its process name.
    void startEndsARunningiTunes() {
        QProcess itunes;
        itunes.start(QStringLiteral(ZN_ITUNES_STANDIN), QStringList());
        QVERIFY(itunes.waitForStarted());
        // It keeps running by itself.
        QVERIFY(!itunes.waitForFinished(300));

        ProgramFolder folder;
        QVERIFY(folder.isValid());
        testsupport::GuardedProcess program;
        folder.configure(program);
        QString error;
        QVERIFY2(program.start(&error), qPrintable(error));
        const bool ended = itunes.waitForFinished(20000);
        if (!ended) itunes.kill();
        QVERIFY2(ended, "the running iTunes was not ended at start");
        QCOMPARE(itunes.exitStatus(), QProcess::CrashExit);  // ended by a signal, not by itself
        QTRY_COMPARE_WITH_TIMEOUT(apptest::startCount(folder.pellact()), 1, 20000);
        program.stop();
    }
};

QTEST_MAIN(TestStartup)
#include "tst_app_startup.moc"
