// Installer acquisition in the main window, against a real nginx on 127.0.0.1
// and the real 7z (or fake 7z programs in the application folder): an
// installer found on disk is hashed and used, a missing or different one is
// downloaded once and hashed again; what the table names may be missing,
// wrong, redirected or endlessly redirected; unpacking must really succeed.
// The repair is the complete repair of a tile (failure code 12) or the
// component repair of the detection result (failure code 9).
#include <QCryptographicHash>
#include <QRegularExpression>
#include <QtTest>

#include "repair/AdvancedRepairGuide.h"
#include "transfer/FileTools.h"
#include "app/FixiTunesHome.h"
#include "repair/FixiTunesProcess.h"
#include "FlowsTestSupport.h"
#include "repair/ScanResultException.h"
#include "toolkit/ZnStyleButtonWidget.h"
#include "testsupport/TestNginx.h"

using namespace flowtest;
using testsupport::TestNginx;

namespace {

const QByteArray kEngine = R"({
    "OneKeyUninstall": {"callbacks": [{"state": 6, "record": {"bSuccess": 1}}]},
    "OneKeyInstall": {"callbacks": [{"state": 4, "record": {"bSuccess": 1}}]},
    "RepairiTunes": {"callbacks": [{"state": 4, "record": {"bSuccess": 1}}]}})";

// The check at start finds a component that needs the installer.
const QByteArray kDamaged = R"({
    "OneKeyUninstall": {"callbacks": [{"state": 6, "record": {"bSuccess": 1}}]},
    "RepairiTunes": {"callbacks": [{"state": 4, "record": {"bSuccess": 1}}]},
    "CheckiTunes": {"callbacks": [
        {"state": 4, "record": {"product": 3, "status": 4, "vecDamageFile": ["C:/AMDS/MobileDevice.dll"]}},
        {"state": 6, "record": {"failCount": 1, "bNeedDownload": 1}}]}})";

int requestsFor(const TestNginx& nginx, const QString& uri) {
    int count = 0;
    for (const auto& entry : nginx.accessLog()) count += entry.uri == uri ? 1 : 0;
    return count;
}

}  // namespace

class TestFlowInstaller : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_base;
    DemoInstaller m_installer;
    QByteArray m_bigInstaller;  // an archive of the installer with 3.5 MB of padding
    QString m_bigSha1;
    TestNginx m_nginx;

    std::unique_ptr<FlowEnv> m_env;
    std::unique_ptr<FixiTunes> m_window;
    std::unique_ptr<LogLines> m_log;

    // Starts at home and runs the complete repair of tile 3 up to its result,
    // or (component) the repair from the detection result.
    QWidget* repair(const QString& tableUri, const QString& hash, bool component = false, int timeoutMs = 40000) {
        m_env->setFallbackTable(installerTable(QStringLiteral("12.10.11.2"), m_nginx.httpUrl(tableUri), hash));
        m_env->setScript(engineScript(component ? kDamaged : kEngine));
        m_log = std::make_unique<LogLines>();
        m_window = std::make_unique<FixiTunes>();
        m_window->show();
        if (component) {
            auto* found = waitForPage<CScanResultException>(*m_window);
            if (!found) return nullptr;
            found->findChild<QAbstractButton*>(QStringLiteral("pushButton_Fix"))->click();
        } else {
            auto* home = waitForPage<CFixiTunesHome>(*m_window);
            if (!home) return nullptr;
            QTest::mouseClick(
                home->findChild<ZnStyleButtonWidget*>(QStringLiteral("widget_RepairFailediDeviceDetection")),
                Qt::LeftButton);
            auto* guide = waitForPage<CAdvancedRepairGuide>(*m_window, 5000);
            if (!guide) return nullptr;
            guide->findChild<QAbstractButton*>(QStringLiteral("pushButton_repair"))->click();
        }
        return waitForPage<CFixiTunesFinished>(*m_window, timeoutMs);
    }

    QString appFile(const QString& name) const { return m_env->appDir() + QLatin1Char('/') + name; }

    // The check types the hash thread was started with, in order.
    QStringList hashChecksRun() const {
        QStringList types;
        for (const QString& line : m_log->lines())
            if (line.startsWith(QLatin1String("CGetHashThread::SetFilePath")))
                types << line.section(QStringLiteral("===m_nCheckType===="), 1).trimmed();
        return types;
    }

private slots:
    void initTestCase() {
        prepareInstaller(m_base, m_installer);
        if (QTest::currentTestFailed()) return;

        // A larger installer, so that a throttled download takes a few seconds.
        const QString folder = m_base.path() + QStringLiteral("/big");
        QProcess make;
        make.start(QStringLiteral(ZN_SOURCE_DIR "/scripts/make-demo-tree"), {QStringLiteral("--installer"), folder});
        QVERIFY(make.waitForFinished(120000));
        QByteArray padding(3500 * 1024, '\0');
        for (int i = 0; i < padding.size(); ++i) padding[i] = char((quint64(i) * 7919u) >> 5);
        writeFile(folder + QStringLiteral("/SetupPadding.bin"), padding);
        QProcess pack;
        pack.setWorkingDirectory(folder);
        pack.start(QStringLiteral("7z"), {QStringLiteral("a"), QStringLiteral("-mx0"), QStringLiteral("-bd"),
                                          m_base.path() + QStringLiteral("/big.exe"), QStringLiteral(".")});
        QVERIFY(pack.waitForFinished(120000));
        QCOMPARE(pack.exitCode(), 0);
        m_bigInstaller = readFile(m_base.path() + QStringLiteral("/big.exe"));
        m_bigSha1 = QString::fromLatin1(QCryptographicHash::hash(m_bigInstaller, QCryptographicHash::Sha1).toHex());

        const QByteArray installer = readFile(m_installer.path);
        m_nginx.addFile(QStringLiteral("downloads/iTunesSetup.exe"), installer);
        m_nginx.addFile(QStringLiteral("downloads/other.exe"), "not the installer");
        m_nginx.addFile(QStringLiteral("slow/iTunesSetup.exe"), m_bigInstaller);
        m_nginx.addThrottle(QStringLiteral("/slow/"), 1024 * 1024);
        m_nginx.addRedirect(QStringLiteral("/moved"), QStringLiteral("/moved-again"), 301);
        m_nginx.addRedirect(QStringLiteral("/moved-again"), QStringLiteral("@HTTP@/downloads/iTunesSetup.exe"), 302);
        m_nginx.addRedirect(QStringLiteral("/loop"), QStringLiteral("/loop"), 302);
        QString error;
        QVERIFY2(m_nginx.start(&error), qPrintable(error));
    }

    void init() {
        m_env = std::make_unique<FlowEnv>();
        QVERIFY(m_env->isValid());
    }
    void cleanup() {
        SetUnzipTimeoutMs(0);
        m_window.reset();
        m_log.reset();
        m_env.reset();
    }

    void acquisition_data() {
        QTest::addColumn<QString>("onDisk");  // "", "valid", "stale"
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QString>("hash");  // "good", "lower", "wrong", "none"
        QTest::addColumn<bool>("component");
        QTest::addColumn<int>("fixStatus");
        QTest::addColumn<int>("downloads");  // requests of the installer file itself
        QTest::addColumn<QString>("hashChecks");

        const QString installer = QStringLiteral("/downloads/iTunesSetup.exe");
        QTest::newRow("valid on disk") << "valid" << installer << "good" << false << 3 << 0 << "0 1";
        QTest::newRow("valid on disk, component repair") << "valid" << installer << "good" << true << 0 << 0 << "0 1";
        QTest::newRow("stale on disk") << "stale" << installer << "good" << false << 3 << 1 << "0 1";
        QTest::newRow("missing") << "" << installer << "good" << false << 3 << 1 << "1";
        QTest::newRow("lower-case hash in the table") << "" << installer << "lower" << false << 3 << 1 << "1";
        QTest::newRow("404") << ""
                             << "/downloads/none.exe"
                             << "good" << false << 12 << 0 << "";
        QTest::newRow("404, component repair") << ""
                                               << "/downloads/none.exe"
                                               << "good" << true << 9 << 0 << "";
        QTest::newRow("wrong hash") << "" << installer << "wrong" << false << 12 << 1 << "1";
        QTest::newRow("wrong file on the server") << "stale"
                                                  << "/downloads/other.exe"
                                                  << "good" << false << 12 << 0 << "0 1";
        // A file on disk never matches an empty hash: it is fetched again, and
        // the download does not match either.
        QTest::newRow("no hash in the table") << "valid" << installer << "none" << false << 12 << 1 << "0 1";
        // An unreadable installer has no hash; with none in the table either,
        // the two empty texts are no match.
        QTest::newRow("unreadable on disk, no hash in the table")
            << "folder" << installer << "none" << false << 12 << 0 << "0 1";
        QTest::newRow("two redirects") << ""
                                       << "/moved"
                                       << "good" << false << 3 << 1 << "1";
        QTest::newRow("endless redirect") << ""
                                          << "/loop"
                                          << "good" << false << 12 << 0 << "";
    }
    void acquisition() {
        QFETCH(QString, onDisk);
        QFETCH(QString, uri);
        QFETCH(QString, hash);
        QFETCH(bool, component);
        QFETCH(int, fixStatus);
        QFETCH(int, downloads);
        QFETCH(QString, hashChecks);
        if (onDisk == QLatin1String("valid")) QVERIFY(QFile::copy(m_installer.path, appFile("iTunesSetup.exe")));
        if (onDisk == QLatin1String("stale")) writeFile(appFile("iTunesSetup.exe"), "an older installer");
        if (onDisk == QLatin1String("folder"))
            QVERIFY(QDir(m_env->appDir()).mkpath(QStringLiteral("iTunesSetup.exe/x")));
        QString tableHash = m_installer.sha1;  // upper case, as the site's table
        if (hash == QLatin1String("lower")) tableHash = tableHash.toLower();
        if (hash == QLatin1String("wrong")) tableHash = QString(40, QLatin1Char('0'));
        if (hash == QLatin1String("none")) tableHash.clear();
        const int before = requestsFor(m_nginx, QStringLiteral("/downloads/iTunesSetup.exe"));

        QWidget* result = repair(uri, tableHash, component);
        QVERIFY2(result, qPrintable(pageName(m_window ? currentPage(*m_window) : nullptr)));
        QCOMPARE(viewText(result), referenceView(fixStatus));
        QCOMPARE(requestsFor(m_nginx, QStringLiteral("/downloads/iTunesSetup.exe")) - before, downloads);
        QCOMPARE(hashChecksRun(), hashChecks.split(QLatin1Char(' '), Qt::SkipEmptyParts));
        const bool success = fixStatus == 0 || fixStatus == 3;
        // What the engine got is the unpacked installer, or nothing at all.
        QCOMPARE(QFileInfo(appFile("iTunesSetup/iTunes64.msi/COMPONENT")).isFile(), success);
        QCOMPARE(
            m_env->calls().contains(component ? QStringLiteral("RepairiTunes") : QStringLiteral("OneKeyUninstall")),
            success);
        if (success) QCOMPARE(readFile(appFile("iTunesSetup.exe")), readFile(m_installer.path));
        // Only a checked installer is unpacked.
        QCOMPARE(m_log->contains(QStringLiteral("SlotUnzipiTunesSetup=====argu===")), success);
        // A failed download leaves no file behind.
        if (uri == QLatin1String("/downloads/none.exe") || uri == QLatin1String("/loop"))
            QVERIFY(!QFileInfo::exists(appFile("iTunesSetup.exe")));
    }

    // The download's progress reaches the driver page while it runs.
    void progressOfAThrottledDownload() {
        QStringList texts;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [this, &texts]() {
            if (!m_window) return;
            auto* page = currentPageAs<CFixiTunesProcess>(*m_window);
            auto* detail = page ? page->findChild<QLabel*>(QStringLiteral("label_FixiTunesProcessDetail")) : nullptr;
            if (detail && detail->text().contains(QLatin1String("MB /")) &&
                (texts.isEmpty() || texts.last() != detail->text()))
                texts << detail->text();
        });
        watch.start(20);
        QWidget* result = repair(QStringLiteral("/slow/iTunesSetup.exe"), m_bigSha1);
        watch.stop();
        QVERIFY(result);
        QCOMPARE(viewText(result), referenceView(kFixStatus_RepairDetectionSuccess));
        // Whole megabytes received of the whole size, rising.
        QVERIFY2(texts.size() >= 3, qPrintable(texts.join(", ")));
        const QRegularExpression form(QStringLiteral("^(\\d+)MB /(\\d+)MB$"));
        int previous = -1;
        for (const QString& text : texts) {
            const QRegularExpressionMatch match = form.match(text);
            QVERIFY2(match.hasMatch(), qPrintable(text));
            QCOMPARE(match.captured(2).toLongLong(), qlonglong(m_bigInstaller.size() / 1024 / 1024));
            QVERIFY(match.captured(1).toInt() > previous);
            previous = match.captured(1).toInt();
        }
    }

    // Unpacking: only a 7z that ends normally in time with 0, or with 1
    // (warnings, logged), and leaves the folder counts; codes from 2 up never
    // do, nor does a folder of an earlier run.
    void unpacking_data() {
        QTest::addColumn<QByteArray>("program");  // "" : the real 7z; "-" : a 7z that cannot be started
        QTest::addColumn<bool>("staleFolder");
        QTest::addColumn<int>("fixStatus");
        QTest::addColumn<bool>("warning");  // the warnings of a successful unpacking are logged
        const QByteArray target = "d=$(echo \"$4\" | sed 's/^-o//'); ";
        const QByteArray partial = target + "mkdir -p \"$d/iTunes64.msi\"; echo x > \"$d/iTunes64.msi/COMPONENT\"; ";
        QTest::newRow("real 7z, stale folder replaced") << QByteArray() << true << 3 << false;
        QTest::newRow("real 7z, then warnings") << QByteArray("7z \"$@\" || exit 2; exit 1") << true << 3 << true;
        QTest::newRow("warnings, folder present") << partial + "exit 1" << false << 3 << true;
        QTest::newRow("warnings, no folder") << QByteArray("exit 1") << true << 12 << false;
        QTest::newRow("7z cannot be started") << QByteArray("-") << true << 12 << false;
        QTest::newRow("7z failing") << partial + "exit 2" << false << 12 << false;
        QTest::newRow("7z command line error") << partial + "exit 7" << false << 12 << false;
        QTest::newRow("7z stopped") << partial + "exit 255" << false << 12 << false;
        QTest::newRow("7z killed by a signal") << target + "mkdir -p \"$d\"; kill -KILL $$" << false << 12 << false;
        QTest::newRow("7z does nothing, stale folder") << QByteArray("exit 0") << true << 12 << false;
        QTest::newRow("7z hung") << partial + "exec sleep 600" << false << 12 << false;
    }
    void unpacking() {
        QFETCH(QByteArray, program);
        QFETCH(bool, staleFolder);
        QFETCH(int, fixStatus);
        QFETCH(bool, warning);
        // A hung 7z is killed at the limit, shortened here from its minutes.
        if (program.contains("exec sleep")) SetUnzipTimeoutMs(3000);
        QVERIFY(QFile::copy(m_installer.path, appFile("iTunesSetup.exe")));
        if (program == "-")
            writeFile(appFile("7z"), "not a program");  // there, but not executable
        else if (!program.isEmpty())
            writeProgram(appFile("7z"), "echo \"$@\" > \"$0.args\"\n" + program);
        if (staleFolder) writeFile(appFile("iTunesSetup/iTunes64.msi/stale-from-an-earlier-run"), "old");

        QWidget* result = repair(QStringLiteral("/downloads/iTunesSetup.exe"), m_installer.sha1, false, 60000);
        QVERIFY(result);
        QCOMPARE(viewText(result), referenceView(fixStatus));
        QVERIFY(!QFileInfo::exists(appFile("iTunesSetup/iTunes64.msi/stale-from-an-earlier-run")));
        QCOMPARE(m_env->calls().contains(QStringLiteral("OneKeyUninstall")), fixStatus == 3);
        if (!program.isEmpty() && program != "-")
            QCOMPARE(QString::fromUtf8(readFile(appFile("7z.args"))).trimmed(),
                     QStringLiteral("x %1 -y -o%2").arg(appFile("iTunesSetup.exe"), appFile("iTunesSetup")));
        if (fixStatus == 3) QVERIFY(QFileInfo(appFile("iTunesSetup/iTunes64.msi/COMPONENT")).isFile());
        QCOMPARE(m_log->contains(QStringLiteral("7-Zip reported warnings (exit code 1)")), warning);
    }

    // While 7-Zip unpacks, the window's events go on (this 7z ends only once a
    // timer of the window's thread has run), the progress page stays shown,
    // and nothing started meanwhile begins a second acquisition: the file 7-Zip
    // reads stays, 7-Zip runs once, and the repair ends as one success.
    void unpackingKeepsTheWindowGoing() {
        QVERIFY(QFile::copy(m_installer.path, appFile("iTunesSetup.exe")));
        const QString go = appFile("go");
        writeProgram(appFile("7z"),
                     "echo \"$@\" >> \"$0.args\"\ni=0\n"
                     "while [ ! -e '" +
                         go.toUtf8() +
                         "' ] && [ $i -lt 400 ]; do sleep 0.05; i=$((i+1)); done\n"
                         "[ -e '" +
                         go.toUtf8() + "' ] || exit 3\n7z \"$@\"");
        const int downloadsBefore = requestsFor(m_nginx, QStringLiteral("/downloads/iTunesSetup.exe"));
        QString pageDuringUnpacking;
        QTimer during;
        during.setInterval(100);
        connect(&during, &QTimer::timeout, [&] {
            if (!QFile::exists(appFile("7z.args")) || QFile::exists(go)) return;
            pageDuringUnpacking = pageName(currentPage(*m_window));
            // What the window could be asked meanwhile: a new acquisition, a
            // new download, a new unpacking.
            m_window->SlotCheckLocaliTunesSetup();
            m_window->SlotDownloadiTunesSetup();
            m_window->SlotUnzipiTunesSetup();
            writeFile(go, "go");
        });
        during.start();

        QWidget* result = repair(QStringLiteral("/downloads/iTunesSetup.exe"), m_installer.sha1, false, 60000);
        QVERIFY(result);
        QCOMPARE(viewText(result), referenceView(kFixStatus_RepairDetectionSuccess));
        QCOMPARE(pageDuringUnpacking, QStringLiteral("CFixiTunesProcess"));
        QCOMPARE(QString::fromUtf8(readFile(appFile("7z.args"))).trimmed(),
                 QStringLiteral("x %1 -y -o%2").arg(appFile("iTunesSetup.exe"), appFile("iTunesSetup")));
        QCOMPARE(requestsFor(m_nginx, QStringLiteral("/downloads/iTunesSetup.exe")), downloadsBefore);
        QVERIFY(m_log->contains(QStringLiteral("SlotUnzipiTunesSetup =====refused")));
        QVERIFY(QFileInfo(appFile("iTunesSetup/iTunes64.msi/COMPONENT")).isFile());
    }
};

QTEST_MAIN(TestFlowInstaller)
#include "tst_flows_installer.moc"
