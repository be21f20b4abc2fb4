// The updater as a program: silent starts that end by themselves, its logging
// areas switched by QT_LOGGING_RULES, the single instance between real
// processes, and whole updates through the real download service against
// nginx (ranged requests, digest, product stopped, installer started),
// including a window closed and a process killed midway through the download.
#include <QDir>
#include <QDirIterator>
#include <QMap>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <signal.h>
#include <unistd.h>

#include "updater/CReadConfiguration.h"
#include "updater/LiveUpdate.h"
#include "updater/LiveUpdateStartup.h"
#include "SilentServer.h"
#include "UpdateServer.h"
#include "UpdaterAppFolder.h"
#include "updater/libAutoUpdate.h"
#include "platform/Programs.h"
#include "testsupport/PrivateTmp.h"
#include "testsupport/ServerUtil.h"

using testsupport::TestNginx;
using updatertest::UpdaterAppFolder;

namespace {

QString productName() { return QStringLiteral("ZnProduct-%1").arg(::getpid()); }

// A running program whose merged output the test reads as it comes.
class Program {
public:
    // An empty `runtimeDir` leaves XDG_RUNTIME_DIR unset; a `home` replaces HOME;
    // `extra` adds variables.
    Program(const QString& program, const QStringList& arguments, const QString& runtimeDir,
            const QString& home = QString(), const QProcessEnvironment& extra = QProcessEnvironment()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (runtimeDir.isEmpty())
            env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        else
            env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
        if (!home.isEmpty()) {
            env.insert(QStringLiteral("HOME"), home);
            env.remove(QStringLiteral("XDG_STATE_HOME"));
        }
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(extra);
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(program, arguments);
        m_process.waitForStarted();
    }
    ~Program() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    QString output() {
        m_output += QString::fromLocal8Bit(m_process.readAll());
        return m_output;
    }
    // Waits (processing events) until the output holds `text`.
    bool waitForOutput(const QString& text, int timeoutMs = 20000) {
        return QTest::qWaitFor([&] { return output().contains(text); }, timeoutMs);
    }
    bool waitForExit(int timeoutMs = 20000) {
        const bool done = QTest::qWaitFor([&] { return m_process.state() == QProcess::NotRunning; }, timeoutMs);
        output();
        return done;
    }
    bool running() const { return m_process.state() != QProcess::NotRunning; }
    void writeLine(const QByteArray& line) { m_process.write(line + '\n'); }
    int exitCode() const { return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1; }
    void kill() {
        ::kill(static_cast<pid_t>(m_process.processId()), SIGKILL);
        m_process.waitForFinished(5000);
    }

private:
    QProcess m_process;
    QString m_output;
};

// A copy of sleep under `name`, started from `dir`.
QProcess* startSleeper(const QString& dir, const QString& name, QObject* parent) {
    const QString path = dir + QLatin1Char('/') + name;
    if (!QFile::exists(path)) {
        QFile::copy(QStringLiteral("/bin/sleep"), path);
        QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner);
    }
    auto* process = new QProcess(parent);
    process->start(path, {QStringLiteral("300")});
    process->waitForStarted();
    return process;
}

}  // namespace

class UpdaterProgramTest : public QObject {
    Q_OBJECT

private:
    UpdaterAppFolder* m_app = nullptr;
    QTemporaryDir* m_runtime = nullptr;

    // Velkin copied into the test's application folder, so that it runs from there.
    QString velkin() {
        const QString path = m_app->path(QStringLiteral("Velkin"));
        if (!QFile::exists(path)) QFile::copy(QStringLiteral(ZN_APP_DIR "/Velkin"), path);
        return path;
    }
    QString runtime() const { return m_runtime->path(); }

    static int count(const QString& text, const QString& what) { return text.count(what); }

private slots:
    void init() {
        m_app = new UpdaterAppFolder(productName());
        m_runtime = new QTemporaryDir;
        QFile::setPermissions(m_runtime->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    void cleanup() {
        platform::setApplicationDir(QString());
        delete m_runtime;
        delete m_app;
    }

    // Silent, no newer build (or a server that fails): the program ends by
    // itself with 0, never having asked for more than "ver".
    void silentStartsEndByThemselves() {
        ZN_REQUIRE_BINARY("nginx");
        TestNginx nginx;
        updatertest::UpdateServerContent content;
        content.version = QStringLiteral("2.0.1.6");
        QString error;
        QVERIFY2(updatertest::startUpdateServer(nginx, content, &error), qPrintable(error));

        Program noUpdate(velkin(), {"--silent=true", "--updateURL=" + nginx.httpUrl(QStringLiteral("/verinfo?"))},
                         runtime());
        QVERIFY(noUpdate.waitForExit());
        QCOMPARE(noUpdate.exitCode(), 0);
        QVERIFY(noUpdate.output().contains(QStringLiteral("Zn LiveUpdate: info \"2.0.1.6\"  type: 0")));
        QCOMPARE(nginx.accessLog().size(), 1);

        Program failing(velkin(), {"--silent=true", "--updateURL=http://127.0.0.1:1/verinfo?"}, runtime());
        QVERIFY(failing.waitForExit());
        QCOMPARE(failing.exitCode(), 0);
    }

    // A flag value of the wrong type ends the program with 1 before anything
    // else, as gflags does for every flag: a --shadowWidth that is not a
    // number is no exception. A number out of 0-20 is no error (width 5).
    void flagValuesOfTheWrongTypeEndWithOne_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        const QString url = QStringLiteral("--updateURL=http://127.0.0.1:1/verinfo?");
        QTest::newRow("shadowWidth abc") << QStringList{"--silent=true", "--shadowWidth=abc", url} << 1
                                         << QStringLiteral("'shadowWidth'");
        QTest::newRow("shadowWidth empty")
            << QStringList{"--silent=true", "--shadowWidth=", url} << 1 << QStringLiteral("'shadowWidth'");
        QTest::newRow("shadowWidth 5px") << QStringList{"--silent=true", "--shadowWidth=5px", url} << 1
                                         << QStringLiteral("'shadowWidth'");
        QTest::newRow("silent maybe") << QStringList{"--silent=maybe", url} << 1 << QStringLiteral("'silent'");
        QTest::newRow("shadowWidth 99") << QStringList{"--silent=true", "--shadowWidth=99", url} << 0 << QString();
        QTest::newRow("shadowWidth -3") << QStringList{"--silent=true", "--shadowWidth=-3", url} << 0 << QString();
    }
    void flagValuesOfTheWrongTypeEndWithOne() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        Program run(velkin(), arguments, runtime());
        QVERIFY(run.waitForExit());
        QCOMPARE(run.exitCode(), exitCode);
        if (!message.isEmpty()) {
            QVERIFY2(run.output().contains(message), qPrintable(run.output()));
            QVERIFY2(!run.output().contains(QStringLiteral("pid = ")), qPrintable(run.output()));
            QVERIFY(QDir(runtime()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).isEmpty());
        }
    }

    // QT_LOGGING_RULES turns one area's lines off and leaves the others': a
    // silent start without a newer build logs the query it sends (the check,
    // "velkin.check") and the reply the window reads ("velkin.window"). Each
    // line is the message alone, as without categories.
    void loggingRulesSwitchOneAreaOff_data() {
        QTest::addColumn<QString>("rules");
        QTest::addColumn<bool>("windowLine");
        QTest::addColumn<bool>("checkLine");
        QTest::newRow("no rules") << QString() << true << true;
        QTest::newRow("check off") << QStringLiteral("velkin.check.debug=false") << true << false;
        QTest::newRow("window off") << QStringLiteral("velkin.window.debug=false") << false << true;
    }
    void loggingRulesSwitchOneAreaOff() {
        QFETCH(QString, rules);
        QFETCH(bool, windowLine);
        QFETCH(bool, checkLine);
        ZN_REQUIRE_BINARY("nginx");
        TestNginx nginx;
        updatertest::UpdateServerContent content;
        content.version = QStringLiteral("2.0.1.6");
        QString error;
        QVERIFY2(updatertest::startUpdateServer(nginx, content, &error), qPrintable(error));

        QProcessEnvironment env;
        env.insert(QStringLiteral("QT_LOGGING_RULES"), rules);
        env.insert(QStringLiteral("QT_MESSAGE_PATTERN"), QString());
        Program run(velkin(), {"--silent=true", "--updateURL=" + nginx.httpUrl(QStringLiteral("/verinfo?"))}, runtime(),
                    QString(), env);
        QVERIFY(run.waitForExit());
        QCOMPARE(run.exitCode(), 0);
        const QStringList lines = run.output().split(QLatin1Char('\n'));
        const auto hasLine = [&](const QString& start) {
            return std::any_of(lines.begin(), lines.end(), [&](const QString& line) { return line.startsWith(start); });
        };
        QVERIFY2(hasLine(QStringLiteral("Zn LiveUpdate: info \"2.0.1.6\"  type: 0")) == windowLine,
                 qPrintable(run.output()));
        QVERIFY2(hasLine(QStringLiteral("pid =  \"")) == checkLine, qPrintable(run.output()));
    }

    // A build whose number has two digits somewhere is newer: a silent start
    // goes on to ask for its notes (and stays, its window shown).
    void aTwoDigitBuildIsOffered() {
        ZN_REQUIRE_BINARY("nginx");
        for (const QString& version : {QStringLiteral("2.0.1.10"), QStringLiteral("10.0.0.0")}) {
            TestNginx nginx;
            updatertest::UpdateServerContent content;
            content.version = version;
            QString error;
            QVERIFY2(updatertest::startUpdateServer(nginx, content, &error), qPrintable(error));
            Program run(velkin(), {"--silent=true", "--updateURL=" + nginx.httpUrl(QStringLiteral("/verinfo?"))},
                        runtime());
            QVERIFY2(QTest::qWaitFor(
                         [&] {
                             for (const auto& entry : nginx.accessLog())
                                 if (entry.uri.contains(QStringLiteral("type=exinfo"))) return true;
                             return false;
                         },
                         20000),
                     qPrintable(version + run.output()));
            QVERIFY(run.running());
        }
    }

    // A silent check against a server that accepts and never answers ends by
    // itself: each of the four sends runs out of its time limit.
    void aSilentCheckAgainstAServerThatNeverAnswersEnds() {
        updatertest::SilentServer silentServer;
        QVERIFY(silentServer.listen());
        const QString url = silentServer.updateUrl();
        Program run(QStringLiteral(ZN_CLICK_HELPER), {m_app->path(), url, "silent", "request-timeout=300"}, runtime());
        QVERIFY(run.waitForExit(30000));
        QCOMPARE(run.exitCode(), 0);
        QVERIFY2(run.output().contains(QStringLiteral(
                     "error Network error: The server did not answer in time,please check the network.")),
                 qPrintable(run.output()));
        QCOMPARE(silentServer.versionRequests(), 4);
    }

    // A second start ends with 0 after sending "active" (a silent one sends
    // nothing); a socket left by a killed instance blocks no later start.
    void oneInstanceAtATime() {
        const QStringList stay = {"--updateURL=http://127.0.0.1:1/verinfo?"};
        Program first(velkin(), stay, runtime());
        QVERIFY(first.waitForOutput(QStringLiteral("pid = ")));

        Program silentSecond(velkin(), {"--silent=true"}, runtime());
        QVERIFY(silentSecond.waitForExit());
        QCOMPARE(silentSecond.exitCode(), 0);
        Program second(velkin(), stay, runtime());
        QVERIFY(second.waitForExit());
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(!second.output().contains(QStringLiteral("pid = ")));
        // Messages arrive in order: had the silent start sent one, it would
        // be there before this one.
        QVERIFY(first.waitForOutput(QStringLiteral("message from another instance: \"active\"")));
        QCOMPARE(count(first.output(), QStringLiteral("message from another instance")), 1);
        QVERIFY(first.running());

        first.kill();
        QVERIFY(!QDir(runtime()).entryList({QStringLiteral("*.socket")}, QDir::System).isEmpty());
        Program next(velkin(), stay, runtime());
        QVERIFY(next.waitForOutput(QStringLiteral("pid = ")));
        Program another(velkin(), stay, runtime());
        QVERIFY(another.waitForExit());
        QCOMPARE(another.exitCode(), 0);
        QVERIFY(next.waitForOutput(QStringLiteral("message from another instance: \"active\"")));
    }

    // Without a session folder, another user who made /tmp/corvane-<uid> first
    // does not leave the updater without its single instance: the folder in
    // the user's home holds its lock and socket. Run again in a mount namespace
    // with a /tmp of its own, so that the machine's /tmp is not touched.
    void oneInstanceAtATimeWhenTmpIsTaken() {
        if (qEnvironmentVariableIsEmpty("ZN_IN_NAMESPACES")) {
            const QStringList unshare = {"--mount",
                                         "--propagation",
                                         "private",
                                         "--",
                                         "/bin/sh",
                                         "-c",
                                         QString::fromStdString(testsupport::privateTmpSetup(
                                             QCoreApplication::applicationFilePath().toStdString())) +
                                             " || exit 99; exec \"$0\" \"$@\""};
            QProcess probe;
            probe.start(QStringLiteral("/usr/bin/unshare"), unshare + QStringList{"/bin/true"});
            if (!probe.waitForFinished(20000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
                QSKIP("no mount namespace with a /tmp of its own can be made here");
            QProcess again;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("ZN_IN_NAMESPACES"), QStringLiteral("1"));
            again.setProcessEnvironment(env);
            again.setProcessChannelMode(QProcess::MergedChannels);
            again.start(QStringLiteral("/usr/bin/unshare"),
                        unshare + QStringList{QCoreApplication::applicationFilePath(),
                                              QStringLiteral("oneInstanceAtATimeWhenTmpIsTaken")});
            QVERIFY(again.waitForFinished(120000));
            const QString log = QString::fromLocal8Bit(again.readAll());
            QVERIFY2(again.exitStatus() == QProcess::NormalExit && again.exitCode() == 0, qPrintable(log));
            QVERIFY2(log.contains(QStringLiteral("PASS   : UpdaterProgramTest::oneInstanceAtATimeWhenTmpIsTaken()")),
                     qPrintable(log));
            return;
        }
        const QString taken = QStringLiteral("/tmp/corvane-%1").arg(::getuid());
        QVERIFY(!QFileInfo::exists(taken));
        QVERIFY(QDir().mkpath(taken));
        QCOMPARE(::chown(QFile::encodeName(taken).constData(), 65534, 65534), 0);
        QTemporaryDir home;
        const QString stay = QStringLiteral("--updateURL=http://127.0.0.1:1/verinfo?");

        Program first(velkin(), {stay}, QString(), home.path());
        QVERIFY(first.waitForOutput(QStringLiteral("pid = ")));
        Program second(velkin(), {stay}, QString(), home.path());
        QVERIFY(second.waitForExit());
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(!second.output().contains(QStringLiteral("pid = ")));
        QVERIFY(first.waitForOutput(QStringLiteral("message from another instance: \"active\"")));
        QVERIFY(first.running());
        const QStringList files = QDir(home.path() + QStringLiteral("/.local/state/corvane"))
                                      .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        QCOMPARE(files.filter(QStringLiteral(".lock")).size(), 1);
        QCOMPARE(files.filter(QStringLiteral(".socket")).size(), 1);
        QVERIFY(QDir(taken).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).isEmpty());
    }

    // Two starts at the same moment: one runs, the other ends with 0.
    void twoStartsAtOnceGiveOneInstance() {
        const QStringList stay = {"--updateURL=http://127.0.0.1:1/verinfo?"};
        for (int round = 0; round < 3; ++round) {
            Program a(velkin(), stay, runtime());
            Program b(velkin(), stay, runtime());
            QVERIFY(QTest::qWaitFor([&] { return !a.running() || !b.running(); }, 20000));
            Program& ended = a.running() ? b : a;
            Program& kept = a.running() ? a : b;
            ended.waitForExit();
            QCOMPARE(ended.exitCode(), 0);
            QVERIFY(kept.waitForOutput(QStringLiteral("pid = ")));
            QVERIFY(kept.waitForOutput(QStringLiteral("message from another instance: \"active\"")));
            QVERIFY(kept.running());
        }
    }

    // A whole update: Update clicked, the installer fetched in 206 ranged
    // requests by the download service, its SHA-1 checked, Pellact and the
    // product's first process ended, the installer started with
    // "/VERYSILENT /SUPPRESSMSGBOXES", and the program ends with 0.
    void aWholeUpdate() {
        ZN_REQUIRE_BINARY("nginx");
        TestNginx nginx;
        updatertest::UpdateServerContent content;
        content.installer = updatertest::fakeInstaller(40000);  // about 2.7 MB
        QString error;
        QVERIFY2(updatertest::startUpdateServer(nginx, content, &error), qPrintable(error));

        QTemporaryDir others;
        QProcess* pellact = startSleeper(others.path(), QStringLiteral("Pellact"), this);
        QProcess* product = startSleeper(m_app->path(), productName(), this);
        QProcess* product2 = startSleeper(m_app->path(), productName(), this);

        Program run(QStringLiteral(ZN_CLICK_HELPER), {m_app->path(), nginx.httpUrl(QStringLiteral("/verinfo?"))},
                    runtime());
        QVERIFY(run.waitForExit(60000));
        QCOMPARE(run.exitCode(), 0);
        QVERIFY2(run.output().contains(QStringLiteral("clicking update")), qPrintable(run.output()));

        const QString target = m_app->path(QStringLiteral("update/CorvaneSetup.exe"));
        QCOMPARE(updatertest::upperSha1(updatertest::readFile(target)), updatertest::upperSha1(content.installer));
        QVERIFY(!QFile::exists(target + QStringLiteral(".tmp")));
        QVERIFY(!QFile::exists(target + QStringLiteral(".cfg")));
        updatertest::verifyStartedSilently(target);

        int ranged = 0;
        for (const auto& entry : nginx.accessLog())
            if (entry.uri == QLatin1String("/download/CorvaneSetup.exe") && entry.status == 206) {
                QVERIFY(entry.range.startsWith(QStringLiteral("bytes=")));
                ++ranged;
            }
        QVERIFY2(ranged >= 2, qPrintable(QString::number(ranged)));

        // Both ended by a kill (a crash exit as QProcess sees it).
        QTRY_COMPARE(pellact->state(), QProcess::NotRunning);
        QCOMPARE(pellact->exitStatus(), QProcess::CrashExit);
        QTRY_COMPARE(product->state(), QProcess::NotRunning);
        QCOMPARE(product->exitStatus(), QProcess::CrashExit);
        QCOMPARE(product2->state(), QProcess::Running);
        product2->kill();
        product2->waitForFinished();
    }

    // A digest as sha1sum and echo write it (lower case, a line end) is the
    // installer's: the update completes.
    void aLowerCaseDigestWithALineEndIsAccepted() {
        ZN_REQUIRE_BINARY("nginx");
        TestNginx nginx;
        updatertest::UpdateServerContent content;
        content.installer = updatertest::fakeInstaller(2000);
        content.digest = updatertest::upperSha1(content.installer).toLower() + QLatin1Char('\n');
        QString error;
        QVERIFY2(updatertest::startUpdateServer(nginx, content, &error), qPrintable(error));
        Program run(QStringLiteral(ZN_CLICK_HELPER), {m_app->path(), nginx.httpUrl(QStringLiteral("/verinfo?"))},
                    runtime());
        QVERIFY(run.waitForExit(60000));
        QVERIFY2(run.exitCode() == 0, qPrintable(run.output()));
        updatertest::verifyStartedSilently(m_app->path(QStringLiteral("update/CorvaneSetup.exe")));
    }

    // Whatever name the installer link ends in, the download goes to the
    // updater's own folder; with a wrong digest it is removed again, and no
    // file of the application folder has changed.
    void aDownloadChangesNothingTheProductShips() {
        ZN_REQUIRE_BINARY("nginx");
        // What the product ships, as far as this folder has it.
        updatertest::writeFile(m_app->path(QStringLiteral("Corvane")), "the main program");
        updatertest::writeFile(m_app->path(QStringLiteral("libTessiva.so")), "the core library");
        velkin();
        const auto snapshot = [this] {
            QMap<QString, QByteArray> files;
            QDirIterator it(m_app->path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString path = it.next();
                const QString relative = QDir(m_app->path()).relativeFilePath(path);
                // The updater's own folder, its copy of the notes, and the
                // link to the build's skin.
                if (relative.startsWith(QLatin1String("update/")) || relative == QLatin1String("ver.txt") ||
                    relative.startsWith(QLatin1String("skin/")))
                    continue;
                files.insert(relative, updatertest::readFile(path));
            }
            return files;
        };
        const QMap<QString, QByteArray> before = snapshot();
        QVERIFY(before.contains(QStringLiteral("LiveUpdateSetting")));
        QVERIFY(before.contains(QStringLiteral("Velkin")));

        updatertest::UpdateServerContent content;
        content.installer = "#!/bin/sh\necho replaced > \"$0.args\"\n";
        content.digest = updatertest::upperSha1("something else");
        QString error;
        for (const QString& name :
             {QStringLiteral("LiveUpdateSetting"), QStringLiteral("Velkin"), QStringLiteral("Corvane"),
              QStringLiteral("libTessiva.so"), productName(), QStringLiteral("..%2Fx"), QStringLiteral("..")}) {
            // "link" answers with a link ending in that name; any path below
            // /files/ serves the installer.
            TestNginx linkServer;
            updatertest::UpdateServerContent linked = content;
            linked.linkPath = QStringLiteral("/files/") + name;
            updatertest::configureUpdateServer(linkServer, linked);
            // nginx resolves "/files/..%2Fx" to "/x" and "/files/.." to "/".
            linkServer.addConfig(
                QStringLiteral("location ^~ /files/ { default_type application/octet-stream; "
                               "try_files /download/CorvaneSetup.exe =404; }\n"
                               "location = / { try_files /download/CorvaneSetup.exe =404; }\n"));
            linkServer.addFile(QStringLiteral("x"), content.installer);
            QVERIFY2(linkServer.start(&error), qPrintable(error));
            Program run(QStringLiteral(ZN_CLICK_HELPER),
                        {m_app->path(), linkServer.httpUrl(QStringLiteral("/verinfo?"))}, runtime());
            QVERIFY2(run.waitForExit(60000), qPrintable(name + run.output()));
            QVERIFY2(run.output().contains(QStringLiteral("failure dialog")), qPrintable(name + run.output()));
            QCOMPARE(run.exitCode(), 3);
            QCOMPARE(snapshot(), before);
            QVERIFY2(QDir(m_app->path(QStringLiteral("update")))
                         .isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                     qPrintable(name + QDir(m_app->path(QStringLiteral("update"))).entryList(QDir::Files).join(' ')));
        }
    }

    // "Download failed." (here: the installer is not on the server yet) lets
    // the user start again: the second Update completes the update.
    void aFailedDownloadCanBeStartedAgain() {
        ZN_REQUIRE_BINARY("nginx");
        TestNginx nginx;
        updatertest::UpdateServerContent content;
        content.installer = updatertest::fakeInstaller(2000);
        content.serveInstaller = false;
        QString error;
        QVERIFY2(updatertest::startUpdateServer(nginx, content, &error), qPrintable(error));
        Program run(QStringLiteral(ZN_CLICK_HELPER),
                    {m_app->path(), nginx.httpUrl(QStringLiteral("/verinfo?")), "retry-on-error"}, runtime());
        QVERIFY2(run.waitForOutput(QStringLiteral("error Download failed."), 60000), qPrintable(run.output()));
        nginx.addFile(QStringLiteral("download/CorvaneSetup.exe"), content.installer);
        run.writeLine("again");
        QVERIFY(run.waitForExit(60000));
        QVERIFY2(run.exitCode() == 0, qPrintable(run.output()));
        QVERIFY(run.output().contains(QStringLiteral("clicking update again")));
        const QString target = m_app->path(QStringLiteral("update/CorvaneSetup.exe"));
        updatertest::verifyInstalled(target, content.installer);
    }

    // The window closed while the download runs: the worker stops with the
    // window (no call into it), and the task's files stay for a resume.
    void closingTheWindowMidDownload() {
        ZN_REQUIRE_BINARY("nginx");
        TestNginx nginx;
        updatertest::UpdateServerContent content;
        content.installer = updatertest::fakeInstaller(40000);
        QString error;
        QVERIFY2(updatertest::startUpdateServer(nginx, content, &error, 32 * 1024), qPrintable(error));

        platform::setApplicationDir(m_app->path());
        CReadConfiguration::GetInstance()->ReadConfig();
        initStyleCommon(QStringLiteral(ZN_APP_DIR "/skin/"));
        auto* window = new LiveUpdate;
        window->setProperty("server_url", nginx.httpUrl(QStringLiteral("/verinfo?")));
        window->initWindow();
        window->show();
        auto* update = window->findChild<QPushButton*>(QStringLiteral("btnUpdate"));
        QTRY_VERIFY_WITH_TIMEOUT(update->isEnabled(), 10000);
        QTRY_VERIFY(window->findChild<libAutoUpdate*>() != nullptr);
        QSignalSpy progress(window->findChild<libAutoUpdate*>(), &libAutoUpdate::signalDownloadProgress);
        update->click();
        QTRY_VERIFY_WITH_TIMEOUT(progress.count() > 0, 20000);
        const QString target = m_app->path(QStringLiteral("update/CorvaneSetup.exe"));
        QTRY_VERIFY(QFile::exists(target + QStringLiteral(".cfg")));

        window->findChild<QPushButton*>(QStringLiteral("btnCancel"))->click();
        QVERIFY(!window->isVisible());
        delete window;
        QVERIFY(QFile::exists(target + QStringLiteral(".tmp")));
        QVERIFY(QFile::exists(target + QStringLiteral(".cfg")));
        QVERIFY(!QFile::exists(target));
        // The poller's next turns find no window; nothing may arrive anywhere.
        QTest::qWait(2000);
        nginx.stop();
    }

    // The window closed midway in a program of its own: the program ends
    // with 0 while its download still runs, leaving the task's files, and the
    // next run completes the update from them.
    void aProgramClosedMidDownloadEndsAndResumes() {
        ZN_REQUIRE_BINARY("nginx");
        TestNginx nginx;
        updatertest::UpdateServerContent content;
        content.installer = updatertest::fakeInstaller(20000);
        QString error;
        QVERIFY2(updatertest::startUpdateServer(nginx, content, &error, 24 * 1024), qPrintable(error));
        const QString target = m_app->path(QStringLiteral("update/CorvaneSetup.exe"));
        const QStringList arguments = {m_app->path(), nginx.httpUrl(QStringLiteral("/verinfo?"))};

        Program closed(QStringLiteral(ZN_CLICK_HELPER), arguments + QStringList{QStringLiteral("close-on-progress")},
                       runtime());
        QVERIFY(closed.waitForExit(60000));
        QVERIFY2(closed.output().contains(QStringLiteral("progress ")), qPrintable(closed.output()));
        QCOMPARE(closed.exitCode(), 0);
        QVERIFY(QFile::exists(target + QStringLiteral(".tmp")));
        QVERIFY(!QFile::exists(target));

        Program next(QStringLiteral(ZN_CLICK_HELPER), arguments, runtime());
        QVERIFY(next.waitForExit(90000));
        QCOMPARE(next.exitCode(), 0);
        updatertest::verifyInstalled(target, content.installer);
    }

    // The program killed midway: the next run resumes from the ".cfg" file,
    // asking only for what is still missing, and completes the update.
    void aKilledDownloadResumes() {
        ZN_REQUIRE_BINARY("nginx");
        TestNginx nginx;
        updatertest::UpdateServerContent content;
        content.installer = updatertest::fakeInstaller(20000);  // about 1.3 MB
        QString error;
        QVERIFY2(updatertest::startUpdateServer(nginx, content, &error, 24 * 1024), qPrintable(error));
        const QStringList arguments = {m_app->path(), nginx.httpUrl(QStringLiteral("/verinfo?"))};
        const QString target = m_app->path(QStringLiteral("update/CorvaneSetup.exe"));

        {
            Program first(QStringLiteral(ZN_CLICK_HELPER), arguments, runtime());
            QVERIFY(QTest::qWaitFor(
                [&] {
                    const auto found =
                        QRegularExpression(QStringLiteral("progress ([0-9]+)")).globalMatch(first.output());
                    int last = 0;
                    auto it = found;
                    while (it.hasNext()) last = it.next().captured(1).toInt();
                    return last >= 50;
                },
                60000));
            // Let the resume record catch up with the data (it is written every second).
            QTest::qWait(1500);
            first.kill();
        }
        QVERIFY(QFile::exists(target + QStringLiteral(".cfg")));
        // A request of our own marks where the second run begins: nginx numbers
        // connections as it accepts them, and the killed run opens no more.
        QNetworkAccessManager manager;
        QNetworkReply* marker = manager.get(QNetworkRequest(QUrl(nginx.httpUrl(QStringLiteral("/run-marker")))));
        QTRY_VERIFY(marker->isFinished());
        delete marker;
        qint64 markerConnection = -1;
        QTRY_VERIFY([&] {
            for (const auto& entry : nginx.accessLog())
                if (entry.uri == QLatin1String("/run-marker")) markerConnection = entry.connection;
            return markerConnection >= 0;
        }());

        Program second(QStringLiteral(ZN_CLICK_HELPER), arguments, runtime());
        QVERIFY(second.waitForExit(90000));
        QCOMPARE(second.exitCode(), 0);
        updatertest::verifyInstalled(target, content.installer);

        qint64 secondRunBytes = 0;
        for (const auto& entry : nginx.accessLog())
            if (entry.connection > markerConnection && entry.uri == QLatin1String("/download/CorvaneSetup.exe"))
                secondRunBytes += entry.bodyBytesSent;
        QVERIFY2(secondRunBytes < content.installer.size() * 3 / 4,
                 qPrintable(QStringLiteral("%1 of %2").arg(secondRunBytes).arg(content.installer.size())));
    }
};

QTEST_MAIN(UpdaterProgramTest)
#include "tst_updater_program.moc"
