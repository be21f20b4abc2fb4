// The test squid: a plain GET through the proxy, a CONNECT tunnel to HTTPS,
// Basic proxy authentication, its access log and a clean stop.
#include "NetHelpers.h"

#include "testsupport/ServerUtil.h"
#include "testsupport/TestNginx.h"
#include "testsupport/TestSquid.h"

#include <QDir>
#include <QNetworkProxy>
#include <QtTest>

using namespace testsupport;

class TestServerSquid : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void getThroughProxy();
    void connectTunnelToHttps();
    void authentication_data();
    void authentication();
    void rawConnectToAnyLoopbackPort();

private:
    QNetworkProxy proxyFor(const TestSquid& squid, const QString& user = QString(),
                           const QString& password = QString()) const {
        return QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), static_cast<quint16>(squid.port()),
                             user, password);
    }

    std::unique_ptr<TestNginx> m_nginx;
    QByteArray m_body;
};

void TestServerSquid::initTestCase() { m_body = patternBytes(20000); }

void TestServerSquid::init() {
    ZN_REQUIRE_BINARY(QStringLiteral("squid"));
    ZN_REQUIRE_BINARY(QStringLiteral("nginx"));
    ZN_REQUIRE_BINARY(QStringLiteral("openssl"));
    m_nginx.reset(new TestNginx);
    m_nginx->addFile(QStringLiteral("file.bin"), m_body);
    QString error;
    QVERIFY2(m_nginx->start(&error), qPrintable(error));
}

void TestServerSquid::getThroughProxy() {
    TestSquid squid;
    QString error;
    QVERIFY2(squid.start(&error), qPrintable(error));
    QCOMPARE(squid.proxyUrl(), QStringLiteral("http://127.0.0.1:%1").arg(squid.port()));

    QNetworkAccessManager nam;
    nam.setProxy(proxyFor(squid));
    const Fetched f = fetch(nam, m_nginx->httpUrl(QStringLiteral("/file.bin")));
    QVERIFY2(f.error == QNetworkReply::NoError, qPrintable(f.errorText));
    QCOMPARE(f.body, m_body);
    QVERIFY(!f.header("Via").isEmpty());  // it really went through squid

    const QList<ProxyLogEntry> log = squid.accessLog(1);
    QCOMPARE(log.size(), 1);
    QCOMPARE(log.at(0).method, QStringLiteral("GET"));
    QCOMPARE(log.at(0).url, m_nginx->httpUrl(QStringLiteral("/file.bin")));
    QCOMPARE(log.at(0).status, 200);
    QCOMPARE(log.at(0).user, QString());
    // Nothing is cached: a second request goes to nginx again.
    QCOMPARE(fetch(nam, m_nginx->httpUrl(QStringLiteral("/file.bin"))).body, m_body);
    QCOMPARE(m_nginx->accessLog(2).size(), 2);

    // Squid's shared memory is named after this instance and goes with it.
    const QString shmPattern = QStringLiteral("zntest%1x*").arg(QCoreApplication::applicationPid());
    QVERIFY(!QDir(QStringLiteral("/dev/shm")).entryList({shmPattern}, QDir::Files).isEmpty());
    VERIFY_STOPPED(squid);
    QCOMPARE(QDir(QStringLiteral("/dev/shm")).entryList({shmPattern}, QDir::Files), QStringList());
}

void TestServerSquid::connectTunnelToHttps() {
    TestSquid squid;
    QString error;
    QVERIFY2(squid.start(&error), qPrintable(error));

    QNetworkAccessManager nam;
    nam.setProxy(proxyFor(squid));
    QNetworkRequest req(QUrl(m_nginx->httpsUrl(QStringLiteral("/file.bin"))));
    req.setSslConfiguration(m_nginx->sslConfiguration());
    const Fetched f = fetch(nam, req);
    QVERIFY2(f.error == QNetworkReply::NoError, qPrintable(f.errorText));
    QCOMPARE(f.body, m_body);

    // The tunnel is logged when it closes: drop the connections.
    nam.clearConnectionCache();
    const QList<ProxyLogEntry> log = squid.accessLog(1);
    QCOMPARE(log.size(), 1);
    QCOMPARE(log.at(0).method, QStringLiteral("CONNECT"));
    QCOMPARE(log.at(0).url, QStringLiteral("127.0.0.1:%1").arg(m_nginx->httpsPort()));
    QCOMPARE(log.at(0).squidStatus, QStringLiteral("TCP_TUNNEL"));
    QCOMPARE(m_nginx->accessLog(1).at(0).scheme, QStringLiteral("https"));
    VERIFY_STOPPED(squid);
}

void TestServerSquid::authentication_data() {
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("status");
    QTest::newRow("right") << QStringLiteral("proxyuser") << QStringLiteral("s3cret") << 200;
    QTest::newRow("wrong-password") << QStringLiteral("proxyuser") << QStringLiteral("wrong") << 407;
    QTest::newRow("unknown-user") << QStringLiteral("someone") << QStringLiteral("s3cret") << 407;
    QTest::newRow("none") << QString() << QString() << 407;
}

void TestServerSquid::authentication() {
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(int, status);

    TestSquid squid;
    QString error;
    QVERIFY2(squid.start(QStringLiteral("proxyuser"), QStringLiteral("s3cret"), &error), qPrintable(error));

    // Raw request: the status is what squid answers, with no client retries.
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(squid.port()));
    QVERIFY(s.waitForConnected(5000));
    QByteArray request = "GET " + m_nginx->httpUrl(QStringLiteral("/file.bin")).toUtf8() +
                         " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
    if (!user.isEmpty())
        request += "Proxy-Authorization: Basic " + (user + QLatin1Char(':') + password).toUtf8().toBase64() + "\r\n";
    s.write(request + "\r\n");
    const QByteArray reply = readUntil(s, [](const QByteArray&) { return false; });
    QVERIFY2(reply.startsWith(QStringLiteral("HTTP/1.1 %1").arg(status).toLatin1()), reply.left(200).constData());
    if (status == 200) {
        QVERIFY(reply.endsWith(m_body));
        QCOMPARE(squid.accessLog(1).at(0).user, user);
    } else {
        QVERIFY(reply.contains("Proxy-Authenticate: Basic"));
    }
    VERIFY_STOPPED(squid);
}

void TestServerSquid::rawConnectToAnyLoopbackPort() {
    // CONNECT is allowed to a port that is not an HTTPS port: the plain one.
    TestSquid squid;
    QString error;
    QVERIFY2(squid.start(&error), qPrintable(error));
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(squid.port()));
    QVERIFY(s.waitForConnected(5000));
    const QByteArray target = QStringLiteral("127.0.0.1:%1").arg(m_nginx->httpPort()).toLatin1();
    s.write("CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n\r\n");
    const QByteArray established = readUntil(s, [](const QByteArray& b) { return b.contains("\r\n\r\n"); });
    QVERIFY2(established.startsWith("HTTP/1.1 200"), established.constData());
    s.write("GET /file.bin HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    const QByteArray reply = readUntil(s, [](const QByteArray&) { return false; });
    QVERIFY(reply.startsWith("HTTP/1.1 200"));
    QVERIFY(reply.endsWith(m_body));
    VERIFY_STOPPED(squid);
}

QTEST_MAIN(TestServerSquid)
#include "tst_server_squid.moc"
