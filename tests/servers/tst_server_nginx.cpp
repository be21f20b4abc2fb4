// The test nginx: plain and HTTPS, ranges, redirects, throttling, extra
// configuration, the access log, start failures and a clean stop.
#include "NetHelpers.h"

#include "testsupport/ServerUtil.h"
#include "testsupport/TestNginx.h"

#include <QFile>
#include <QSslSocket>
#include <QTcpSocket>
#include <QtTest>

using namespace testsupport;

class TestServerNginx : public QObject {
    Q_OBJECT

private slots:
    void init();
    void plainAndHttps();
    void rangedGet_data();
    void rangedGet();
    void redirects();
    void throttledLocation();
    void extraConfigAndTokens();
    void accessLogShowsConnectionAndRange();
    void brokenConfigReportsTheLog();
    void stopLeavesNoProcess();

private:
    QNetworkAccessManager m_nam;
};

void TestServerNginx::init() {
    ZN_REQUIRE_BINARY(QStringLiteral("nginx"));
    ZN_REQUIRE_BINARY(QStringLiteral("openssl"));
}

void TestServerNginx::plainAndHttps() {
    TestNginx nginx;
    const QByteArray body = patternBytes(100000);
    nginx.addFile(QStringLiteral("data/file.bin"), body);
    QString error;
    QVERIFY2(nginx.start(&error), qPrintable(error));
    QVERIFY(nginx.httpPort() > 0 && nginx.httpsPort() > 0 && nginx.httpPort() != nginx.httpsPort());

    const Fetched plain = fetch(m_nam, nginx.httpUrl(QStringLiteral("/data/file.bin")));
    QCOMPARE(plain.error, QNetworkReply::NoError);
    QCOMPARE(plain.status, 200);
    QCOMPARE(plain.body, body);

    // Trusted through the instance's own authority, for both names in the certificate.
    for (const QString& host : {QStringLiteral("127.0.0.1"), QStringLiteral("localhost")}) {
        QNetworkRequest req(QUrl(QStringLiteral("https://%1:%2/data/file.bin").arg(host).arg(nginx.httpsPort())));
        req.setSslConfiguration(nginx.sslConfiguration());
        const Fetched tls = fetch(m_nam, req);
        QVERIFY2(tls.error == QNetworkReply::NoError, qPrintable(host + QStringLiteral(": ") + tls.errorText));
        QCOMPARE(tls.body, body);
    }

    // Without that authority the certificate is not trusted: verification is real.
    QNetworkAccessManager fresh;
    const Fetched untrusted = fetch(fresh, nginx.httpsUrl(QStringLiteral("/data/file.bin")));
    QCOMPARE(untrusted.error, QNetworkReply::SslHandshakeFailedError);

    // A client outside Qt trusts the same CA file.
    if (haveBinary(QStringLiteral("curl"))) {
        QProcess curl;
        curl.start(findBinary(QStringLiteral("curl")),
                   {QStringLiteral("-sS"), QStringLiteral("--fail"), QStringLiteral("--cacert"), nginx.caCertPath(),
                    nginx.httpsUrl(QStringLiteral("/data/file.bin"))});
        QVERIFY(curl.waitForFinished(20000));
        QCOMPARE(curl.exitCode(), 0);
        QCOMPARE(curl.readAllStandardOutput(), body);
    }
    VERIFY_STOPPED(nginx);
}

void TestServerNginx::rangedGet_data() {
    QTest::addColumn<QByteArray>("range");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("contentRange");
    // The file has 10000 bytes.
    QTest::newRow("first-100") << QByteArray("bytes=0-99") << 206 << 0 << 100 << QByteArray("bytes 0-99/10000");
    QTest::newRow("middle") << QByteArray("bytes=4000-4999") << 206 << 4000 << 1000
                            << QByteArray("bytes 4000-4999/10000");
    QTest::newRow("open-end") << QByteArray("bytes=9990-") << 206 << 9990 << 10 << QByteArray("bytes 9990-9999/10000");
    QTest::newRow("suffix") << QByteArray("bytes=-7") << 206 << 9993 << 7 << QByteArray("bytes 9993-9999/10000");
    QTest::newRow("end-past-size") << QByteArray("bytes=9000-20000") << 206 << 9000 << 1000
                                   << QByteArray("bytes 9000-9999/10000");
    QTest::newRow("start-past-size") << QByteArray("bytes=10000-") << 416 << 0 << 0 << QByteArray("bytes */10000");
}

void TestServerNginx::rangedGet() {
    QFETCH(QByteArray, range);
    QFETCH(int, status);
    QFETCH(int, from);
    QFETCH(int, length);
    QFETCH(QByteArray, contentRange);

    TestNginx nginx;
    const QByteArray body = patternBytes(10000);
    nginx.addFile(QStringLiteral("r.bin"), body);
    QString error;
    QVERIFY2(nginx.start(&error), qPrintable(error));

    QNetworkRequest req(QUrl(nginx.httpUrl(QStringLiteral("/r.bin"))));
    req.setRawHeader("Range", range);
    const Fetched f = fetch(m_nam, req);
    QCOMPARE(f.status, status);
    QCOMPARE(f.header("Content-Range"), contentRange);
    if (status == 206) QCOMPARE(f.body, body.mid(from, length));
    VERIFY_STOPPED(nginx);
}

void TestServerNginx::redirects() {
    TestNginx nginx;
    const QByteArray body("the target\n");
    nginx.addFile(QStringLiteral("target.txt"), body);
    nginx.addRedirect(QStringLiteral("/moved"), QStringLiteral("/target.txt"), 301);
    nginx.addRedirect(QStringLiteral("/hop1"), QStringLiteral("/hop2"), 302);
    nginx.addRedirect(QStringLiteral("/hop2"), QStringLiteral("/hop3"), 307);
    nginx.addRedirect(QStringLiteral("/hop3"), QStringLiteral("/target.txt"), 302);
    nginx.addRedirect(QStringLiteral("/loop"), QStringLiteral("/loop"), 302);
    nginx.addRedirect(QStringLiteral("/to-plain"), QStringLiteral("@HTTP@/target.txt"), 302);
    QString error;
    QVERIFY2(nginx.start(&error), qPrintable(error));

    // One hop, seen by hand: code and absolute Location on the same server.
    QNetworkRequest manual(QUrl(nginx.httpUrl(QStringLiteral("/moved"))));
    manual.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    Fetched f = fetch(m_nam, manual);
    QCOMPARE(f.status, 301);
    QCOMPARE(f.header("Location"), nginx.httpUrl(QStringLiteral("/target.txt")).toUtf8());

    // A chain, followed: ends at the file after three hops.
    QNetworkRequest follow(QUrl(nginx.httpUrl(QStringLiteral("/hop1"))));
    follow.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    f = fetch(m_nam, follow);
    QCOMPARE(f.error, QNetworkReply::NoError);
    QCOMPARE(f.status, 200);
    QCOMPARE(f.body, body);
    QCOMPARE(f.finalUrl, QUrl(nginx.httpUrl(QStringLiteral("/target.txt"))));

    // An endless loop: the client gives up.
    QNetworkRequest loop(QUrl(nginx.httpUrl(QStringLiteral("/loop"))));
    loop.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    loop.setMaximumRedirectsAllowed(5);
    f = fetch(m_nam, loop);
    QCOMPARE(f.error, QNetworkReply::TooManyRedirectsError);

    // HTTPS to plain HTTP: the Location names the plain port.
    QNetworkRequest down(QUrl(nginx.httpsUrl(QStringLiteral("/to-plain"))));
    down.setSslConfiguration(nginx.sslConfiguration());
    down.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    f = fetch(m_nam, down);
    QCOMPARE(f.status, 302);
    QCOMPARE(f.header("Location"), nginx.httpUrl(QStringLiteral("/target.txt")).toUtf8());
    VERIFY_STOPPED(nginx);
}

void TestServerNginx::throttledLocation() {
    TestNginx nginx;
    const QByteArray small = patternBytes(4000);
    const QByteArray big = patternBytes(4 * 1024 * 1024);
    nginx.addFile(QStringLiteral("slow/small.bin"), small);
    nginx.addFile(QStringLiteral("slow/big.bin"), big);
    nginx.addThrottle(QStringLiteral("/slow/"), 8 * 1024);
    QString error;
    QVERIFY2(nginx.start(&error), qPrintable(error));
    QFile conf(nginx.configPath());
    QVERIFY(conf.open(QIODevice::ReadOnly));
    QVERIFY(conf.readAll().contains("location ^~ /slow/ { limit_rate 8192;"));

    // A file within the first second's allowance arrives whole.
    const Fetched f = fetch(m_nam, nginx.httpUrl(QStringLiteral("/slow/small.bin")));
    QCOMPARE(f.status, 200);
    QCOMPARE(f.body, small);

    // A big one does not: once the first bytes are in, the rest is held back.
    // (Unthrottled, 4 MB over loopback would be there in one go.)
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(nginx.httpPort()));
    QVERIFY(socket.waitForConnected(5000));
    socket.write("GET /slow/big.bin HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    const QByteArray first = readUntil(socket, [](const QByteArray& b) { return b.contains("\r\n\r\n"); });
    QVERIFY(first.startsWith("HTTP/1.1 200"));
    QVERIFY2(first.size() < 1024 * 1024, qPrintable(QString::number(first.size())));
    QCOMPARE(socket.state(), QAbstractSocket::ConnectedState);
    socket.abort();

    // The log tells that the big response was cut short.
    const QList<AccessLogEntry> log = nginx.accessLog(2);
    QCOMPARE(log.size(), 2);
    QCOMPARE(log.at(1).uri, QStringLiteral("/slow/big.bin"));
    QVERIFY(log.at(1).bodyBytesSent < big.size());
    VERIFY_STOPPED(nginx);
}

void TestServerNginx::extraConfigAndTokens() {
    TestNginx nginx;
    nginx.addConfig(
        QStringLiteral("location = /where { default_type text/plain; return 200 \"@HTTP@ @HTTPS@ @ROOT@\"; }"));
    nginx.addConfig(QStringLiteral("map $uri $zn_kind { default plain; ~\\.bin$ binary; }"), TestNginx::Context::Http);
    nginx.addConfig(QStringLiteral("location = /kind.bin { default_type text/plain; return 200 $zn_kind; }"));
    QString error;
    QVERIFY2(nginx.start(&error), qPrintable(error));

    Fetched f = fetch(m_nam, nginx.httpUrl(QStringLiteral("/where")));
    QCOMPARE(f.status, 200);
    QCOMPARE(QString::fromUtf8(f.body),
             QStringLiteral("%1 %2 %3").arg(nginx.httpUrl(QString()), nginx.httpsUrl(QString()), nginx.docRoot()));
    f = fetch(m_nam, nginx.httpUrl(QStringLiteral("/kind.bin")));
    QCOMPARE(f.body, QByteArray("binary"));
    VERIFY_STOPPED(nginx);
}

void TestServerNginx::accessLogShowsConnectionAndRange() {
    TestNginx nginx;
    nginx.addFile(QStringLiteral("a.bin"), patternBytes(5000));
    QString error;
    QVERIFY2(nginx.start(&error), qPrintable(error));

    // Two requests on one kept-alive connection, then one on a new connection.
    auto request = [](QTcpSocket& s, const QByteArray& range, bool close) {
        QByteArray r = "GET /a.bin HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        if (!range.isEmpty()) r += "Range: " + range + "\r\n";
        r += close ? "Connection: close\r\n\r\n" : "\r\n";
        s.write(r);
    };
    auto bodyDone = [](int length) {
        return [length](const QByteArray& b) {
            const int head = b.indexOf("\r\n\r\n");
            return head >= 0 && b.size() - head - 4 >= length;
        };
    };
    QTcpSocket first;
    first.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(nginx.httpPort()));
    QVERIFY(first.waitForConnected(5000));
    request(first, "bytes=0-9", false);
    QVERIFY(readUntil(first, bodyDone(10)).startsWith("HTTP/1.1 206"));
    request(first, "bytes=100-", false);
    QVERIFY(readUntil(first, bodyDone(4900)).startsWith("HTTP/1.1 206"));
    QTcpSocket second;
    second.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(nginx.httpPort()));
    QVERIFY(second.waitForConnected(5000));
    request(second, QByteArray(), true);
    QVERIFY(readUntil(second, bodyDone(5000)).startsWith("HTTP/1.1 200"));

    const QList<AccessLogEntry> log = nginx.accessLog(3);
    QCOMPARE(log.size(), 3);
    QCOMPARE(log.at(0).connection, log.at(1).connection);
    QVERIFY(log.at(2).connection != log.at(0).connection);
    QCOMPARE(log.at(0).connectionRequests, 1);
    QCOMPARE(log.at(1).connectionRequests, 2);
    QCOMPARE(log.at(0).range, QStringLiteral("bytes=0-9"));
    QCOMPARE(log.at(1).range, QStringLiteral("bytes=100-"));
    QCOMPARE(log.at(2).range, QString());
    QCOMPARE(log.at(0).status, 206);
    QCOMPARE(log.at(2).status, 200);
    QCOMPARE(log.at(0).bodyBytesSent, 10);
    QCOMPARE(log.at(1).bodyBytesSent, 4900);
    QCOMPARE(log.at(2).bodyBytesSent, 5000);
    QCOMPARE(log.at(2).request, QStringLiteral("GET /a.bin HTTP/1.1"));
    QCOMPARE(log.at(2).method, QStringLiteral("GET"));
    QCOMPARE(log.at(2).uri, QStringLiteral("/a.bin"));
    QCOMPARE(log.at(2).protocol, QStringLiteral("HTTP/1.1"));
    QCOMPARE(log.at(2).scheme, QStringLiteral("http"));
    QCOMPARE(log.at(2).serverPort, nginx.httpPort());
    VERIFY_STOPPED(nginx);
}

void TestServerNginx::brokenConfigReportsTheLog() {
    TestNginx nginx;
    nginx.addConfig(QStringLiteral("zn_no_such_directive on;"));
    QString error;
    QVERIFY(!nginx.start(&error));
    QVERIFY2(error.contains(QLatin1String("zn_no_such_directive")), qPrintable(error));
    QVERIFY(!nginx.isRunning());
    QVERIFY(!processExists(nginx.pid()));
}

void TestServerNginx::stopLeavesNoProcess() {
    TestNginx nginx;
    nginx.addFile(QStringLiteral("x.txt"), "x");
    QString error;
    QVERIFY2(nginx.start(&error), qPrintable(error));
    const qint64 master = nginx.pid();
    QVERIFY(processExists(master));
    QVERIFY(processGroupExists(master));  // master and its worker
    const int port = nginx.httpPort();
    nginx.stop();
    QVERIFY(!processExists(master));
    QVERIFY(!processGroupExists(master));
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
    QVERIFY(!s.waitForConnected(2000));
    nginx.stop();  // a second stop is harmless

    // The same object starts again.
    QVERIFY2(nginx.start(&error), qPrintable(error));
    QVERIFY(nginx.pid() != master);
    QCOMPARE(fetch(m_nam, nginx.httpUrl(QStringLiteral("/x.txt"))).body, QByteArray("x"));
    VERIFY_STOPPED(nginx);
}

QTEST_MAIN(TestServerNginx)
#include "tst_server_nginx.moc"
