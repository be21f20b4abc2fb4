// CNetworkDownloadManager against a real nginx on 127.0.0.1: what ends up in
// the application folder and which signals arrive, for plain downloads,
// redirect chains, the endless redirect, HTTP errors, scheme downgrades,
// throttled downloads, servers that stop answering (in-test) and a save file
// that cannot be opened.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include "transfer/NetworkDownloadManager.h"
#include "platform/Programs.h"
#include "testsupport/TestNginx.h"

using testsupport::TestNginx;

namespace {

QByteArray body(int size, char seed) {
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i) data[i] = char(seed + (i * 7) % 61);
    return data;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QByteArray();
    return file.readAll();
}

// The number of requests nginx has logged for `uri`.
int requestsFor(const TestNginx& nginx, const QString& uri) {
    int count = 0;
    for (const auto& entry : nginx.accessLog()) count += entry.uri == uri ? 1 : 0;
    return count;
}

// A server on 127.0.0.1 that accepts every connection, answers each request
// with `answer` (nothing when empty) and then sends nothing more, keeping the
// connection open.
class StallingServer {
public:
    explicit StallingServer(const QByteArray& answer) : m_answer(answer) {
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                m_held << socket;
                QObject::connect(socket, &QTcpSocket::readyRead, [this, socket] {
                    // The request's head has ended: answer once.
                    if (!socket->readAll().contains("\r\n\r\n") || m_answer.isEmpty()) return;
                    socket->write(m_answer);
                    m_answer.clear();
                });
            }
        });
    }
    ~StallingServer() { qDeleteAll(m_held); }
    bool listen() { return m_server.listen(QHostAddress(QStringLiteral("127.0.0.1"))); }
    QString url(const QString& scheme) const {
        return QStringLiteral("%1://127.0.0.1:%2/files/setup.bin").arg(scheme).arg(m_server.serverPort());
    }

private:
    QByteArray m_answer;
    QTcpServer m_server;
    QList<QTcpSocket*> m_held;
};

// Sets the transfer time limit for one test and back to the default after it.
class TransferLimit {
public:
    explicit TransferLimit(int ms) { CNetworkDownloadManager::SetTransferTimeoutMs(ms); }
    ~TransferLimit() { CNetworkDownloadManager::SetTransferTimeoutMs(0); }
};

}  // namespace

class TestDownloadNet : public QObject {
    Q_OBJECT

private:
    TestNginx m_nginx;
    QByteArray m_payload = body(64 * 1024, 'a');
    QByteArray m_bigPayload = body(600 * 1024, 'k');
    QTemporaryDir* m_appDir = nullptr;

    // One download into the test's application folder; waits for its end.
    struct Outcome {
        int ends = 0;
        int type = 0;
        bool fileExists = false;
        QByteArray content;
        QList<QPair<qlonglong, qlonglong>> progress;
    };
    Outcome download(const QString& fileName, const QString& url, DOWNLOADTYPE type) {
        Outcome outcome;
        CNetworkDownloadManager manager;
        QSignalSpy ends(&manager, &CNetworkDownloadManager::onDownloadFinished);
        QSignalSpy progress(&manager, &CNetworkDownloadManager::SignalDownloadiTunesProcess);
        manager.StartDownload(fileName, QUrl(url), type);
        if (ends.isEmpty()) ends.wait(30000);
        // Nothing more may follow the one end.
        QTest::qWait(50);
        outcome.ends = ends.count();
        if (!ends.isEmpty()) outcome.type = ends.first().first().value<DOWNLOADTYPE>();
        const QString path = m_appDir->path() + QLatin1Char('/') + fileName;
        outcome.fileExists = QFileInfo(path).isFile();
        outcome.content = readAll(path);
        for (const QList<QVariant>& args : progress)
            outcome.progress << qMakePair(args.at(0).toLongLong(), args.at(1).toLongLong());
        return outcome;
    }

private slots:
    void initTestCase() {
        qRegisterMetaType<DOWNLOADTYPE>("DOWNLOADTYPE");
        m_nginx.addFile(QStringLiteral("files/setup.bin"), m_payload);
        m_nginx.addFile(QStringLiteral("files/big.bin"), m_bigPayload);
        m_nginx.addFile(QStringLiteral("files/other.bin"), "a different body");
        // Two hops, on the same server.
        m_nginx.addRedirect(QStringLiteral("/hop1"), QStringLiteral("/hop2"), 302);
        m_nginx.addRedirect(QStringLiteral("/hop2"), QStringLiteral("/files/setup.bin"), 301);
        // /chain0 -> /chain1 -> ... -> /chain10 -> the file: eleven redirects
        // from /chain0, ten from /chain1.
        for (int i = 0; i < 11; ++i)
            m_nginx.addRedirect(QStringLiteral("/chain%1").arg(i),
                                i == 10 ? QStringLiteral("/files/setup.bin") : QStringLiteral("/chain%1").arg(i + 1));
        m_nginx.addRedirect(QStringLiteral("/loop"), QStringLiteral("/loop"), 302);
        // From https to plain http, and the other way.
        m_nginx.addRedirect(QStringLiteral("/to-http"), QStringLiteral("@HTTP@/files/setup.bin"), 302);
        m_nginx.addRedirect(QStringLiteral("/to-https"), QStringLiteral("@HTTPS@/files/setup.bin"), 302);
        m_nginx.addThrottle(QStringLiteral("/slow/"), 200 * 1024);
        m_nginx.addFile(QStringLiteral("slow/big.bin"), m_bigPayload);
        QString error;
        QVERIFY2(m_nginx.start(&error), qPrintable(error));
        // The program's requests carry no TLS settings of their own: trust the
        // test's authority process-wide.
        QSslConfiguration::setDefaultConfiguration(m_nginx.sslConfiguration());
    }

    void init() {
        m_appDir = new QTemporaryDir;
        QVERIFY(m_appDir->isValid());
        platform::setApplicationDir(m_appDir->path());
    }

    void cleanup() {
        platform::setApplicationDir(QString());
        delete m_appDir;
        m_appDir = nullptr;
    }

    // Every way a download can end: one end signal with its type; the body
    // saved only on success, and only the final body after redirects.
    void endings_data() {
        QTest::addColumn<QString>("url");  // "http:..." / "https:..." + path
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("saved");
        QTest::newRow("plain http") << "http:/files/setup.bin" << int(kDownloadType_iTunesSetup) << true;
        QTest::newRow("plain https") << "https:/files/setup.bin" << int(kDownloadType_EmailConfig) << true;
        QTest::newRow("two redirects") << "http:/hop1" << int(kDownloadType_iTunesSetup) << true;
        QTest::newRow("ten redirects") << "http:/chain1" << int(kDownloadType_iTunesSetup) << true;
        QTest::newRow("eleven redirects") << "http:/chain0" << int(kDownloadType_iTunesSetup) << false;
        QTest::newRow("endless redirect") << "http:/loop" << int(kDownloadType_iTunesSetup) << false;
        QTest::newRow("404") << "http:/files/missing.bin" << int(kDownloadType_iTunesSetup) << false;
        QTest::newRow("404 of the table")
            << "https:/files/missing.bin" << int(kDownloadType_iTunesSetupUrlConfig) << false;
        QTest::newRow("https to http, mail file") << "https:/to-http" << int(kDownloadType_EmailConfig) << false;
        QTest::newRow("https to http, table") << "https:/to-http" << int(kDownloadType_iTunesSetupUrlConfig) << false;
        QTest::newRow("https to http, installer") << "https:/to-http" << int(kDownloadType_iTunesSetup) << true;
        QTest::newRow("http to https, table") << "http:/to-https" << int(kDownloadType_iTunesSetupUrlConfig) << true;
        QTest::newRow("nothing listening") << "http-closed:/files/setup.bin" << int(kDownloadType_iTunesSetup) << false;
    }
    void endings() {
        QFETCH(QString, url);
        QFETCH(int, type);
        QFETCH(bool, saved);
        QString address;
        const QString path = url.mid(url.indexOf(QLatin1Char(':')) + 1);
        if (url.startsWith(QLatin1String("https:")))
            address = m_nginx.httpsUrl(path);
        else if (url.startsWith(QLatin1String("http-closed:")))
            address = QStringLiteral("http://127.0.0.1:1") + path;
        else
            address = m_nginx.httpUrl(path);

        // A file left from an earlier run is never taken for this download.
        QFile stale(m_appDir->path() + QStringLiteral("/iTunesSetup.exe"));
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("stale contents of an earlier download");
        stale.close();

        const Outcome outcome = download(QStringLiteral("iTunesSetup.exe"), address, DOWNLOADTYPE(type));
        QCOMPARE(outcome.ends, 1);
        QCOMPARE(outcome.type, type);
        QCOMPARE(outcome.fileExists, saved);
        if (saved) QCOMPARE(outcome.content, m_payload);
    }

    // The progress of a throttled download reaches the driver page in steps
    // that grow to the whole size.
    void progressOfAThrottledDownload() {
        const Outcome outcome = download(QStringLiteral("iTunesSetup.exe"),
                                         m_nginx.httpUrl(QStringLiteral("/slow/big.bin")), kDownloadType_iTunesSetup);
        QCOMPARE(outcome.ends, 1);
        QCOMPARE(outcome.content, m_bigPayload);
        QVERIFY2(outcome.progress.size() >= 3, qPrintable(QString::number(outcome.progress.size())));
        qlonglong previous = -1;
        for (const auto& step : outcome.progress) {
            QVERIFY(step.first >= previous);
            QCOMPARE(step.second, qlonglong(m_bigPayload.size()));
            previous = step.first;
        }
        QCOMPARE(outcome.progress.last().first, qlonglong(m_bigPayload.size()));
    }

    // A request that gets no data for the time limit ends as a network error:
    // one end signal, and no file (a partly written one is removed), so that
    // the start-up chain goes on to the product check.
    void stalledServers_data() {
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("type");
        QTest::newRow("accepts and never answers") << "http" << QByteArray() << int(kDownloadType_EmailConfig);
        QTest::newRow("never completes the TLS handshake")
            << "https" << QByteArray() << int(kDownloadType_iTunesSetupUrlConfig);
        QTest::newRow("stops in the middle of the body")
            << "http" << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n") + QByteArray(3000, 'p')
            << int(kDownloadType_iTunesSetup);
        QTest::newRow("stops after the status line")
            << "http" << QByteArray("HTTP/1.1 200 OK\r\n") << int(kDownloadType_iTunesSetup);
    }
    void stalledServers() {
        QFETCH(QString, scheme);
        QFETCH(QByteArray, answer);
        QFETCH(int, type);
        StallingServer server(answer);
        QVERIFY(server.listen());
        TransferLimit limit(400);
        const Outcome outcome = download(QStringLiteral("iTunesSetup.exe"), server.url(scheme), DOWNLOADTYPE(type));
        QCOMPARE(outcome.ends, 1);
        QCOMPARE(outcome.type, type);
        QVERIFY(!outcome.fileExists);
    }

    // The limit is on a pause, not on the whole download: a throttled one
    // that takes longer than the limit but never pauses that long ends whole.
    void slowButSteadyDownloadIsNotCut() {
        TransferLimit limit(1500);
        QElapsedTimer clock;
        clock.start();
        const Outcome outcome = download(QStringLiteral("iTunesSetup.exe"),
                                         m_nginx.httpUrl(QStringLiteral("/slow/big.bin")), kDownloadType_iTunesSetup);
        QVERIFY2(clock.elapsed() > 1500, "the download must outlast the limit for this case to mean anything");
        QCOMPARE(outcome.ends, 1);
        QCOMPARE(outcome.content, m_bigPayload);
    }

    void transferTimeLimit() {
        QCOMPARE(CNetworkDownloadManager::kTransferTimeoutMs, 30000);
        QCOMPARE(CNetworkDownloadManager::TransferTimeoutMs(), 30000);
        {
            TransferLimit limit(250);
            QCOMPARE(CNetworkDownloadManager::TransferTimeoutMs(), 250);
        }
        QCOMPARE(CNetworkDownloadManager::TransferTimeoutMs(), 30000);
    }

    // Without a save file nothing is requested, and the end still comes, after
    // StartDownload has returned, so that a waiting chain goes on.
    void saveFileNotOpenable_data() {
        QTest::addColumn<bool>("folderInTheWay");
        QTest::newRow("a folder of that name") << true;
        QTest::newRow("no application folder") << false;
    }
    void saveFileNotOpenable() {
        QFETCH(bool, folderInTheWay);
        if (folderInTheWay) {
            QVERIFY(QDir(m_appDir->path()).mkpath(QStringLiteral("encryptEmailFile.xml/inside")));
        } else {
            platform::setApplicationDir(m_appDir->path() + QStringLiteral("/does/not/exist"));
        }
        const QString uri = QStringLiteral("/files/other.bin");
        const int before = requestsFor(m_nginx, uri);

        CNetworkDownloadManager manager;
        QSignalSpy ends(&manager, &CNetworkDownloadManager::onDownloadFinished);
        manager.StartDownload(QStringLiteral("encryptEmailFile.xml"), QUrl(m_nginx.httpUrl(uri)),
                              kDownloadType_EmailConfig);
        QCOMPARE(ends.count(), 0);  // not from inside the call
        QVERIFY(ends.wait(5000));
        QCOMPARE(ends.count(), 1);
        QCOMPARE(ends.first().first().value<DOWNLOADTYPE>(), kDownloadType_EmailConfig);
        QTest::qWait(100);
        QCOMPARE(ends.count(), 1);
        QCOMPARE(requestsFor(m_nginx, uri), before);
        if (folderInTheWay)
            QVERIFY(QFileInfo(m_appDir->path() + QStringLiteral("/encryptEmailFile.xml/inside")).isDir());
    }

    // A new download replaces the one still running: only the new one ends.
    void newDownloadReplacesRunningOne() {
        CNetworkDownloadManager manager;
        QSignalSpy ends(&manager, &CNetworkDownloadManager::onDownloadFinished);
        manager.StartDownload(QStringLiteral("iTunesSetup.exe"), QUrl(m_nginx.httpUrl(QStringLiteral("/slow/big.bin"))),
                              kDownloadType_iTunesSetup);
        QTest::qWait(100);
        manager.StartDownload(QStringLiteral("iTunesDownloadUrl.xml"),
                              QUrl(m_nginx.httpUrl(QStringLiteral("/files/other.bin"))),
                              kDownloadType_iTunesSetupUrlConfig);
        QVERIFY(ends.wait(10000));
        QTest::qWait(200);
        QCOMPARE(ends.count(), 1);
        QCOMPARE(ends.first().first().value<DOWNLOADTYPE>(), kDownloadType_iTunesSetupUrlConfig);
        QCOMPARE(readAll(m_appDir->path() + QStringLiteral("/iTunesDownloadUrl.xml")), QByteArray("a different body"));
    }
};

QTEST_GUILESS_MAIN(TestDownloadNet)
#include "tst_download_net.moc"
