// The SOCKS 4 and SOCKS 5 exchanges against a scripted proxy on 127.0.0.1:
// the bytes sent, every reply the proxy may give, and the refusal of names
// that do not fit the protocol's one-byte lengths, in both forms. After a
// successful exchange the scripted proxy answers the HTTP request itself.
#include "ScriptedServer.h"
#include "StreamTestUtil.h"

#include "dlhttp/http_error.h"
#include "dlhttp/http_stream.h"

#include <QtTest>

using streamtest::formName;
using streamtest::formRow;

namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += static_cast<char>(v);
    return out;
}

struct Socks5Script {
    std::string methodReply = bytes({5, 0});
    std::string authReply = bytes({1, 0});
    std::string connectReply = bytes({5, 0, 0, 1, 127, 0, 0, 1, 0, 80});
};

// A SOCKS 5 proxy that gives the scripted replies and, once connected on,
// answers the HTTP request with "ok".
ScriptedServer::Script socks5Proxy(Socks5Script s) {
    return [s](ScriptedServer::Connection& c) {
        std::string greeting = c.readExactly(2);
        if (greeting.size() < 2) return;
        c.readExactly(static_cast<unsigned char>(greeting[1]));
        c.write(s.methodReply);
        if (s.methodReply[1] == 2) {
            std::string head = c.readExactly(2);
            if (head.size() < 2) return;
            c.readExactly(static_cast<unsigned char>(head[1]));
            std::string plen = c.readExactly(1);
            if (plen.empty()) return;
            c.readExactly(static_cast<unsigned char>(plen[0]));
            c.write(s.authReply);
        }
        std::string request = c.readExactly(5);
        if (request.size() < 5) return;
        c.readExactly(static_cast<unsigned char>(request[4]) + 2);
        c.write(s.connectReply);
        if (c.readHead().empty()) return;
        c.write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    };
}

ScriptedServer::Script socks4Proxy(int status, std::size_t userLength) {
    return [status, userLength](ScriptedServer::Connection& c) {
        if (c.readExactly(9 + userLength).size() < 9 + userLength) return;
        c.write(bytes({0, status, 0, 0, 0, 0, 0, 0}));
        if (c.readHead().empty()) return;
        c.write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    };
}

struct Outcome {
    boost::system::error_code ec;
    std::string body;
    std::string sent;
};

Outcome run(ScriptedServer& server, int kind, const std::string& user, const std::string& password, bool async,
            const std::string& url = "http://example.test:8080/p") {
    Outcome out;
    boost::asio::io_context io;
    {
        dlhttp::http_stream s(io);
        dlhttp::ProxySettings proxy;
        proxy.host = "127.0.0.1";
        proxy.port = server.port();
        proxy.username = user;
        proxy.password = password;
        proxy.kind = kind;
        s.proxy(proxy);
        streamtest::Opened opened = streamtest::open(io, s, url, async);
        out.ec = opened.ec;
        if (!out.ec) out.body = streamtest::readBody(io, s, async).bytes;
        boost::system::error_code ignored;
        s.close(ignored);
    }
    server.waitForConnection(0);
    out.sent = server.received(0);
    return out;
}

}  // namespace

class TestStreamSocks : public QObject {
    Q_OBJECT

private slots:
    void socks5Messages_data();
    void socks5Messages();
    void socks5Replies_data();
    void socks5Replies();
    void socks4_data();
    void socks4();
    void namesTooLong_data();
    void namesTooLong();
};

void TestStreamSocks::socks5Messages_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<int>("kind");
    for (bool async : {false, true})
        for (int kind : {2, 3})
            QTest::newRow(qPrintable(QString("kind %1, %2").arg(kind).arg(formName(async)))) << async << kind;
}

void TestStreamSocks::socks5Messages() {
    QFETCH(bool, async);
    QFETCH(int, kind);
    const std::string connect = bytes({5, 1, 0, 3, 12}) + "example.test" + bytes({0x1f, 0x90});
    {
        ScriptedServer server(socks5Proxy(Socks5Script()));
        Outcome o = run(server, kind, "", "", async);
        QVERIFY2(!o.ec, o.ec.message().c_str());
        QCOMPARE(o.body, std::string("ok"));
        QVERIFY(o.sent.compare(0, 3 + connect.size(), bytes({5, 1, 0}) + connect) == 0);
    }
    {
        Socks5Script script;
        script.methodReply = bytes({5, 2});
        ScriptedServer server(socks5Proxy(script));
        Outcome o = run(server, kind, "user", "pw", async);
        QVERIFY2(!o.ec, o.ec.message().c_str());
        std::string expected = bytes({5, 2, 0, 2}) + bytes({1, 4}) + "user" + bytes({2}) + "pw" + connect;
        QVERIFY(o.sent.compare(0, expected.size(), expected) == 0);
        QCOMPARE(o.body, std::string("ok"));
    }
}

void TestStreamSocks::socks5Replies_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("auth");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("user");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("category");  // "HTTP", "system" or "" for success
    auto b = [](std::initializer_list<int> v) { return QByteArray::fromStdString(bytes(v)); };
    const QByteArray ok4 = b({5, 0, 0, 1, 127, 0, 0, 1, 0, 80});
    for (bool async : {false, true}) {
        formRow("no acceptable method", async) << b({5, 255}) << b({1, 0}) << ok4 << "" << 1002 << "HTTP";
        formRow("user name wanted, none set", async) << b({5, 2}) << b({1, 0}) << ok4 << "" << 1001 << "HTTP";
        formRow("wrong password", async) << b({5, 2}) << b({1, 1}) << ok4 << "u" << 1003 << "HTTP";
        formRow("method reply version 4", async) << b({4, 0}) << b({1, 0}) << ok4 << "" << 1000 << "HTTP";
        formRow("refused", async) << b({5, 0}) << b({1, 0}) << b({5, 5, 0, 1, 0, 0, 0, 0, 0, 0}) << ""
                                  << int(boost::asio::error::connection_refused) << "system";
        formRow("not allowed", async) << b({5, 0}) << b({1, 0}) << b({5, 2, 0, 1, 0, 0, 0, 0, 0, 0}) << ""
                                      << int(boost::asio::error::access_denied) << "system";
        formRow("command not supported", async)
            << b({5, 0}) << b({1, 0}) << b({5, 7, 0, 1, 0, 0, 0, 0, 0, 0}) << "" << 1005 << "HTTP";
        formRow("reply code 9", async) << b({5, 0}) << b({1, 0}) << b({5, 9, 0, 1, 0, 0, 0, 0, 0, 0}) << "" << 1004
                                       << "HTTP";
        // The connect reply's version: 1000 in the blocking form, 1004 in the
        // asynchronous one.
        formRow("connect reply version 4", async)
            << b({5, 0}) << b({1, 0}) << b({4, 0, 0, 1, 0, 0, 0, 0, 0, 0}) << "" << (async ? 1004 : 1000) << "HTTP";
        formRow("bound IPv6 address", async)
            << b({5, 0}) << b({1, 0}) << b({5, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 80}) << ""
            << 0 << "";
        formRow("bound domain name", async)
            << b({5, 0}) << b({1, 0}) << b({5, 0, 0, 3, 9}) + "proxy.lan" + b({0, 80}) << "" << 0 << "";
        formRow("impossible domain length", async)
            << b({5, 0}) << b({1, 0}) << b({5, 0, 0, 3, 1, 'x', 0, 80, 0, 0}) << "" << 1004 << "HTTP";
        formRow("unknown address type", async) << b({5, 0}) << b({1, 0}) << b({5, 0, 0, 7, 0, 0, 0, 0, 0, 0}) << ""
                                               << int(boost::asio::error::address_family_not_supported) << "system";
    }
}

void TestStreamSocks::socks5Replies() {
    QFETCH(bool, async);
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, auth);
    QFETCH(QByteArray, reply);
    QFETCH(QString, user);
    QFETCH(int, value);
    QFETCH(QString, category);
    Socks5Script script;
    script.methodReply = method.toStdString();
    script.authReply = auth.toStdString();
    script.connectReply = reply.toStdString();
    ScriptedServer server(socks5Proxy(script));
    Outcome o = run(server, 2, user.toStdString(), "secret", async);
    if (category.isEmpty()) {
        QVERIFY2(!o.ec, o.ec.message().c_str());
        QCOMPARE(o.body, std::string("ok"));
        return;
    }
    QCOMPARE(o.ec.value(), value);
    QCOMPARE(QString(o.ec.category().name()), category);
}

void TestStreamSocks::socks4_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("user");
    QTest::addColumn<int>("expected");
    for (bool async : {false, true}) {
        formRow("granted, user", async) << 90 << "abc" << 0;
        formRow("granted, no user", async) << 90 << "" << 0;
        formRow("rejected", async) << 91 << "abc" << 1003;
        formRow("no identd", async) << 92 << "abc" << 1006;
        formRow("identd mismatch", async) << 93 << "abc" << 1007;
        formRow("other status", async) << 94 << "abc" << 1004;
    }
}

void TestStreamSocks::socks4() {
    QFETCH(bool, async);
    QFETCH(int, status);
    QFETCH(QString, user);
    QFETCH(int, expected);
    ScriptedServer server(socks4Proxy(status, user.size()));
    Outcome o = run(server, 1, user.toStdString(), "", async, "http://127.0.0.1:8080/p");
    QCOMPARE(o.ec.value(), expected);
    std::string request = bytes({4, 1, 0x1f, 0x90, 127, 0, 0, 1}) + user.toStdString() + bytes({0});
    QVERIFY(o.sent.compare(0, request.size(), request) == 0);
    if (expected == 0) QCOMPARE(o.body, std::string("ok"));
}

void TestStreamSocks::namesTooLong_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("host");
    const QString longText(256, 'a');
    for (bool async : {false, true}) {
        formRow("user name", async) << 2 << longText << "pw"
                                    << "example.test";
        formRow("password", async) << 2 << "u" << longText << "example.test";
        formRow("host", async) << 2 << ""
                               << "" << QString(256, 'h');
        formRow("SOCKS 4 user with NUL", async) << 1 << QString("a") + QChar(0) + "b"
                                                << ""
                                                << "127.0.0.1";
    }
}

void TestStreamSocks::namesTooLong() {
    QFETCH(bool, async);
    QFETCH(int, kind);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, host);
    // The proxy is never contacted: nothing is cut short and sent.
    ScriptedServer server([](ScriptedServer::Connection& c) { c.readToEnd(); });
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    dlhttp::ProxySettings proxy;
    proxy.host = "127.0.0.1";
    proxy.port = server.port();
    proxy.username = user.toStdString();
    proxy.password = password.toStdString();
    proxy.kind = kind;
    s.proxy(proxy);
    streamtest::Opened opened = streamtest::open(io, s, "http://" + host.toStdString() + "/", async);
    QCOMPARE(opened.ec, boost::system::error_code(boost::asio::error::invalid_argument));
    // The refusal comes from io, as every result of async_open does.
    QVERIFY(!opened.calledInside);
    QCOMPARE(opened.calls, 1);
    QCOMPARE(server.connectionCount(), std::size_t(0));
}

QTEST_APPLESS_MAIN(TestStreamSocks)
#include "tst_stream_socks.moc"
