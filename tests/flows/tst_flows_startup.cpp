// The start-up chain against a real nginx on 127.0.0.1 (HTTPS, as the
// product's servers): the mail-account file, then the installer table, then
// the product check; and which installer table decides the repair afterwards
// (the downloaded one, or the shipped fallback when the download failed).
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include "repair/AdvancedRepairGuide.h"
#include "repair/ScanResultException.h"
#include "app/FixiTunesHome.h"
#include "FlowsTestSupport.h"
#include "transfer/NetworkDownloadManager.h"
#include "toolkit/ZnStyleButtonWidget.h"
#include "testsupport/TestNginx.h"

using namespace flowtest;
using testsupport::TestNginx;

namespace {

const char* const kMailPath = "/pro-info/firmware/encryptEmailFile.xml";
const char* const kTablePath = "/pro-info/itunesconfig/iTunesDownloadUrl.xml";

const QByteArray kReinstall = R"({
    "OneKeyUninstall": {"callbacks": [{"state": 6, "record": {"bSuccess": 1}}]},
    "OneKeyInstall": {"callbacks": [{"state": 4, "record": {"bSuccess": 1}}]}})";

// Index of the first request for `uri` in the access log, -1 when none.
int requestIndex(const QList<testsupport::AccessLogEntry>& log, const QString& uri) {
    for (int i = 0; i < log.size(); ++i)
        if (log.at(i).uri == uri) return i;
    return -1;
}

// Configuration servers that accept every connection and never answer; keeps
// what each connection sent.
class SilentServer {
public:
    SilentServer() {
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                m_held << socket;
                QObject::connect(socket, &QTcpSocket::readyRead, [this, socket] { m_received += socket->readAll(); });
            }
        });
    }
    ~SilentServer() { qDeleteAll(m_held); }
    bool listen() { return m_server.listen(QHostAddress(QStringLiteral("127.0.0.1"))); }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }
    const QByteArray& received() const { return m_received; }

private:
    QTcpServer m_server;
    QList<QTcpSocket*> m_held;
    QByteArray m_received;
};

}  // namespace

class TestFlowStartup : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_base;
    DemoInstaller m_installer;

private slots:
    void initTestCase() { prepareInstaller(m_base, m_installer); }

    void chain_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("installerUri");  // the installer the repair then fetches
        QTest::newRow("both files served") << ""
                                           << "/downloads/iTunesSetup.exe";
        QTest::newRow("table missing") << "no table"
                                       << "/fallback/iTunesSetup.exe";
        QTest::newRow("mail file missing") << "no mail file"
                                           << "/downloads/iTunesSetup.exe";
        QTest::newRow("folder in the way of the mail file") << "mail folder"
                                                            << "/downloads/iTunesSetup.exe";
        QTest::newRow("folder in the way of the table") << "table folder"
                                                        << "/fallback/iTunesSetup.exe";
        // The configuration server may not send the program to plain HTTP.
        QTest::newRow("table redirected to http") << "table to http"
                                                  << "/fallback/iTunesSetup.exe";
    }
    void chain() {
        QFETCH(QString, setup);
        QFETCH(QString, installerUri);

        TestNginx nginx;
        const QByteArray installer = readFile(m_installer.path);
        nginx.addFile(QStringLiteral("downloads/iTunesSetup.exe"), installer);
        nginx.addFile(QStringLiteral("fallback/iTunesSetup.exe"), installer);
        nginx.addFile(QStringLiteral("plain/iTunesDownloadUrl.xml"), "<x/>");
        if (setup != QLatin1String("no mail file"))
            nginx.addFile(QLatin1String(kMailPath).mid(1),
                          "PD94Zn7bWwgdmVyc2lvbj0iMS4wIj8+PEVtYWlsQ29uZmlnLz4K");  // scrambled <EmailConfig/>
        if (setup == QLatin1String("table to http"))
            nginx.addRedirect(QLatin1String(kTablePath), QStringLiteral("@HTTP@/plain/iTunesDownloadUrl.xml"));
        QString error;
        QVERIFY2(nginx.start(&error), qPrintable(error));
        QSslConfiguration::setDefaultConfiguration(nginx.sslConfiguration());
        if (setup != QLatin1String("no table") && setup != QLatin1String("table to http"))
            nginx.addFile(
                QLatin1String(kTablePath).mid(1),
                installerTable(QStringLiteral("12.10.11.2"),
                               nginx.httpsUrl(QStringLiteral("/downloads/iTunesSetup.exe")), m_installer.sha1));

        FlowEnv env;
        QVERIFY(env.isValid());
        FlowEnv::setServers(nginx.httpsUrl(QStringLiteral("/")));
        env.setFallbackTable(installerTable(QStringLiteral("12.10.11.2"),
                                            nginx.httpsUrl(QStringLiteral("/fallback/iTunesSetup.exe")),
                                            m_installer.sha1));
        if (setup == QLatin1String("mail folder"))
            QVERIFY(QDir(env.appDir()).mkpath(QStringLiteral("encryptEmailFile.xml/keep")));
        if (setup == QLatin1String("table folder"))
            QVERIFY(QDir(env.appDir()).mkpath(QStringLiteral("iTunesDownloadUrl.xml/keep")));
        env.setScript(engineScript(kReinstall));

        FixiTunes window;
        window.show();
        QVERIFY2(waitForPage<CFixiTunesHome>(window), qPrintable(pageName(currentPage(window))));

        // The mail file first, then the table; the check after both. Where a
        // folder stands in the way of a file, nothing is requested and the
        // chain goes on.
        const bool mailAsked = setup != QLatin1String("mail folder");
        const bool tableAsked = setup != QLatin1String("table folder");
        const QList<testsupport::AccessLogEntry> log = nginx.accessLog(int(mailAsked) + int(tableAsked));
        const int mail = requestIndex(log, QLatin1String(kMailPath));
        const int table = requestIndex(log, QLatin1String(kTablePath));
        QCOMPARE(mail >= 0, mailAsked);
        QCOMPARE(table >= 0, tableAsked);
        if (mailAsked && tableAsked) QVERIFY(mail < table);
        QVERIFY2(env.calls().contains(QStringLiteral("CheckiTunes")), qPrintable(env.callLog()));
        QCOMPARE(QFileInfo(env.appDir() + QStringLiteral("/encryptEmailFile.xml")).isFile(),
                 setup != QLatin1String("no mail file") && mailAsked);
        QCOMPARE(QFileInfo(env.appDir() + QStringLiteral("/iTunesDownloadUrl.xml")).isFile(),
                 installerUri == QLatin1String("/downloads/iTunesSetup.exe"));
        QCOMPARE(requestIndex(log, QStringLiteral("/plain/iTunesDownloadUrl.xml")), -1);

        // The table that was read decides where the installer comes from.
        auto* home = currentPageAs<CFixiTunesHome>(window);
        QTest::mouseClick(home->findChild<ZnStyleButtonWidget*>(QStringLiteral("widget_RepairFailediDeviceDetection")),
                          Qt::LeftButton);
        auto* guide = waitForPage<CAdvancedRepairGuide>(window, 5000);
        QVERIFY(guide);
        click(guide, "pushButton_repair");
        auto* result = waitForPage<CFixiTunesFinished>(window, 30000);
        QVERIFY(result);
        QCOMPARE(viewText(result), referenceView(kFixStatus_RepairDetectionSuccess));
        QVERIFY(requestIndex(nginx.accessLog(), installerUri) >= 0);
    }

    // Servers that accept and never answer hold the start only for the
    // transfer time limit of each download: both are asked in turn, nothing
    // of them is left, and the product check runs on the shipped table.
    void silentServersDoNotHoldTheStart() {
        SilentServer server;
        QVERIFY(server.listen());
        FlowEnv env;
        QVERIFY(env.isValid());
        FlowEnv::setServers(server.base());
        env.setScript(engineScript(kReinstall));
        CNetworkDownloadManager::SetTransferTimeoutMs(300);
        FixiTunes window;
        window.show();
        auto* home = waitForPage<CFixiTunesHome>(window, 20000);
        CNetworkDownloadManager::SetTransferTimeoutMs(0);
        QVERIFY2(home, qPrintable(pageName(currentPage(window))));
        QVERIFY2(env.calls().contains(QStringLiteral("CheckiTunes")), qPrintable(env.callLog()));
        const int mail = server.received().indexOf(QByteArray("GET ") + kMailPath + " ");
        const int table = server.received().indexOf(QByteArray("GET ") + kTablePath + " ");
        QVERIFY2(mail >= 0 && table > mail, server.received().constData());
        QVERIFY(!QFileInfo::exists(env.appDir() + QStringLiteral("/encryptEmailFile.xml")));
        QVERIFY(!QFileInfo::exists(env.appDir() + QStringLiteral("/iTunesDownloadUrl.xml")));
    }

    // What the run command shows: the real engine on the demo installation,
    // the demo site's files made as the run command makes them (the installer
    // holds the build's iTunes, and the application folder's fallback table is
    // the one the site writes). The check finds the damage, the repair unpacks
    // the installer the table names, and the next start finds iTunes intact:
    // online, and with the network lost at start (the table comes from the
    // fallback), also when the installer is then on disk only.
    void demoSiteRepairsTheDemoInstallation_data() {
        QTest::addColumn<bool>("online");
        QTest::addColumn<bool>("installerOnDisk");  // in the application folder; no server at all
        QTest::newRow("online") << true << false;
        QTest::newRow("network lost at start") << false << false;
        QTest::newRow("network lost, installer on disk") << false << true;
    }
    void demoSiteRepairsTheDemoInstallation() {
        QFETCH(bool, online);
        QFETCH(bool, installerOnDisk);
        TestNginx nginx;
        QString error;
        QVERIFY2(nginx.start(&error), qPrintable(error));
        FlowEnv env;
        QVERIFY(env.isValid());
        QProcess site;
        site.start(QStringLiteral(ZN_SOURCE_DIR "/scripts/make-demo-site"),
                   {nginx.docRoot(), nginx.httpUrl(QStringLiteral("/")), QStringLiteral("--itunes-program"),
                    QStringLiteral(ZN_ITUNES_STANDIN), QStringLiteral("--fallback-table"),
                    env.appDir() + QStringLiteral("/iTunesDownloadUrlLocal.xml")});
        QVERIFY(site.waitForFinished(120000));
        QCOMPARE(site.exitCode(), 0);

        // Without the network the configuration downloads find nothing
        // listening (the environment's default).
        if (online) FlowEnv::setServers(nginx.httpUrl(QStringLiteral("/")));
        if (installerOnDisk) {
            QVERIFY(QFile::copy(nginx.docRoot() + QStringLiteral("/downloads/iTunesSetup.exe"),
                                env.appDir() + QStringLiteral("/iTunesSetup.exe")));
            nginx.stop();
        }
        env.setScript("{}");
        QProcess tree;
        tree.start(QStringLiteral(ZN_SOURCE_DIR "/scripts/make-demo-tree"),
                   {QStringLiteral("--force"), env.rootPath(), QStringLiteral("--itunes-program"),
                    QStringLiteral(ZN_ITUNES_STANDIN)});
        QVERIFY(tree.waitForFinished(120000));
        QCOMPARE(tree.exitCode(), 0);

        {
            FixiTunes window;
            window.show();
            auto* damaged = waitForPage<CScanResultException>(window);
            QVERIFY2(damaged, qPrintable(pageName(currentPage(window))));
            click(damaged, "pushButton_Fix");
            auto* result = waitForPage<CFixiTunesFinished>(window, 60000);
            QVERIFY2(result, qPrintable(pageName(currentPage(window))));
            QCOMPARE(viewText(result), referenceView(kFixStatus_FixSuccess));
            QCOMPARE(QFileInfo::exists(env.appDir() + QStringLiteral("/iTunesDownloadUrl.xml")), online);
            if (!installerOnDisk)
                QVERIFY(requestIndex(nginx.accessLog(), QStringLiteral("/downloads/iTunesSetup.exe")) >= 0);
        }
        FixiTunes again;
        again.show();
        QVERIFY2(waitForPage<CFixiTunesHome>(again), qPrintable(pageName(currentPage(again))));
    }
};

QTEST_MAIN(TestFlowStartup)
#include "tst_flows_startup.moc"
