// The test SOCKS5 proxy: connections through it with and without user name and
// password, refusals of wrong credentials, and a clean stop.
#include "NetHelpers.h"

#include "testsupport/ServerUtil.h"
#include "testsupport/TestNginx.h"
#include "testsupport/TestSocks.h"

#include <QNetworkProxy>
#include <QtTest>

using namespace testsupport;

class TestServerSocks : public QObject {
    Q_OBJECT

private slots:
    void init();
    void throughProxy_data();
    void throughProxy();
    void rawHandshake_data();
    void rawHandshake();

private:
    std::unique_ptr<TestNginx> m_nginx;
};

void TestServerSocks::init() {
    ZN_REQUIRE_BINARY(QStringLiteral("microsocks"));
    ZN_REQUIRE_BINARY(QStringLiteral("nginx"));
    ZN_REQUIRE_BINARY(QStringLiteral("openssl"));
    m_nginx.reset(new TestNginx);
    m_nginx->addFile(QStringLiteral("hello.txt"), "hello through socks\n");
    QString error;
    QVERIFY2(m_nginx->start(&error), qPrintable(error));
}

void TestServerSocks::throughProxy_data() {
    QTest::addColumn<QString>("serverUser");
    QTest::addColumn<QString>("serverPassword");
    QTest::addColumn<QString>("clientUser");
    QTest::addColumn<QString>("clientPassword");
    QTest::addColumn<bool>("works");
    QTest::newRow("open") << QString() << QString() << QString() << QString() << true;
    QTest::newRow("auth-right") << "sockuser"
                                << "pa55"
                                << "sockuser"
                                << "pa55" << true;
    QTest::newRow("auth-wrong-password") << "sockuser"
                                         << "pa55"
                                         << "sockuser"
                                         << "nope" << false;
    QTest::newRow("auth-wrong-user") << "sockuser"
                                     << "pa55"
                                     << "other"
                                     << "pa55" << false;
    QTest::newRow("auth-none-given") << "sockuser"
                                     << "pa55" << QString() << QString() << false;
}

void TestServerSocks::throughProxy() {
    QFETCH(QString, serverUser);
    QFETCH(QString, serverPassword);
    QFETCH(QString, clientUser);
    QFETCH(QString, clientPassword);
    QFETCH(bool, works);

    TestSocks socks;
    QString error;
    QVERIFY2(socks.start(serverUser, serverPassword, &error), qPrintable(error));

    QTcpSocket s;
    s.setProxy(QNetworkProxy(QNetworkProxy::Socks5Proxy, QStringLiteral("127.0.0.1"),
                             static_cast<quint16>(socks.port()), clientUser, clientPassword));
    s.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(m_nginx->httpPort()));
    const bool connected = s.waitForConnected(10000);
    QCOMPARE(connected, works);
    if (works) {
        s.write("GET /hello.txt HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        const QByteArray reply = readUntil(s, [](const QByteArray&) { return false; });
        QVERIFY(reply.startsWith("HTTP/1.1 200"));
        QVERIFY(reply.endsWith("hello through socks\n"));
        QCOMPARE(m_nginx->accessLog(1).size(), 1);
    } else {
        QCOMPARE(s.error(), QAbstractSocket::ProxyAuthenticationRequiredError);
        QCOMPARE(m_nginx->accessLog().size(), 0);
    }
    VERIFY_STOPPED(socks);
}

void TestServerSocks::rawHandshake_data() {
    QTest::addColumn<bool>("serverAuth");
    QTest::addColumn<QByteArray>("methods");
    QTest::addColumn<QByteArray>("choice");
    // Greeting: version 5, count, methods; answer: version 5, chosen method.
    QTest::newRow("open-no-auth") << false << QByteArray::fromHex("050100") << QByteArray::fromHex("0500");
    QTest::newRow("auth-offers-userpass") << true << QByteArray::fromHex("05020002") << QByteArray::fromHex("0502");
    QTest::newRow("auth-refuses-no-auth") << true << QByteArray::fromHex("050100") << QByteArray::fromHex("05ff");
}

void TestServerSocks::rawHandshake() {
    QFETCH(bool, serverAuth);
    QFETCH(QByteArray, methods);
    QFETCH(QByteArray, choice);

    TestSocks socks;
    QString error;
    QVERIFY2(serverAuth ? socks.start(QStringLiteral("u"), QStringLiteral("p"), &error) : socks.start(&error),
             qPrintable(error));
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(socks.port()));
    QVERIFY(s.waitForConnected(5000));
    s.write(methods);
    QCOMPARE(readUntil(s, [](const QByteArray& b) { return b.size() >= 2; }).left(2), choice);
    if (choice == QByteArray::fromHex("0502")) {
        // RFC 1929: version 1, user, password; status 0 is success.
        s.write(QByteArray::fromHex("0101") + "u" + QByteArray::fromHex("01") + "p");
        QCOMPARE(readUntil(s, [](const QByteArray& b) { return b.size() >= 2; }), QByteArray::fromHex("0100"));
        // CONNECT 127.0.0.1:<nginx>; reply 05 00 = succeeded.
        QByteArray req = QByteArray::fromHex("05010001") + QByteArray::fromHex("7f000001");
        req.append(static_cast<char>(m_nginx->httpPort() >> 8)).append(static_cast<char>(m_nginx->httpPort() & 0xff));
        s.write(req);
        QCOMPARE(readUntil(s, [](const QByteArray& b) { return b.size() >= 10; }).left(2), QByteArray::fromHex("0500"));
    }
    VERIFY_STOPPED(socks);
}

QTEST_MAIN(TestServerSocks)
#include "tst_server_socks.moc"
