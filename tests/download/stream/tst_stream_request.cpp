// The exact bytes of the requests the stream writes (direct, through an HTTP
// proxy, CONNECT), captured by a scripted server on 127.0.0.1, and the
// refusal of requests that would carry a line break or NUL onto the wire.
#include "ScriptedServer.h"
#include "StreamTestUtil.h"

#include "dlhttp/http_error.h"
#include "dlhttp/http_stream.h"

#include <QtTest>

using streamtest::formName;
using streamtest::formRow;

namespace {

const std::string kAccept = "Accept: text/html, application/xhtml+xml, */*\r\n";
const std::string kAgent = "User-Agent: Mozilla/5.0 (Windows NT 6.1; Trident/7.0; rv:11.0) like Gecko\r\n";
const std::string kOk = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";

// Answers every request on a connection with `reply` until the peer closes.
ScriptedServer::Script answer(const std::string& reply) {
    return [reply](ScriptedServer::Connection& c) {
        for (;;) {
            std::string head = c.readHead();
            if (head.empty()) return;
            c.write(reply);
        }
    };
}

dlhttp::ProxySettings proxyAt(const ScriptedServer& server, int kind, const std::string& user = "",
                              const std::string& password = "") {
    dlhttp::ProxySettings p;
    p.host = "127.0.0.1";
    p.port = server.port();
    p.username = user;
    p.password = password;
    p.kind = kind;
    return p;
}

// Opens `url` on a fresh stream and returns the bytes the server received.
std::string capture(ScriptedServer& server, const std::string& url, bool async,
                    const dlhttp::option_list& options = dlhttp::option_list(),
                    const dlhttp::ProxySettings* proxy = nullptr, boost::system::error_code* result = nullptr) {
    std::size_t index = server.connectionCount();
    boost::asio::io_context io;
    {
        dlhttp::http_stream s(io);
        s.request_options(options);
        if (proxy) s.proxy(*proxy);
        streamtest::Opened opened = streamtest::open(io, s, url, async);
        if (opened.calledInside) return "handler called inside async_open";
        if (result) *result = opened.ec;
        boost::system::error_code ignored;
        s.close(ignored);
    }
    server.waitForConnection(index);
    return server.received(index);
}

}  // namespace

class TestStreamRequest : public QObject {
    Q_OBJECT

private slots:
    void directGet_data();
    void directGet();
    void options_data();
    void options();
    void postBody();
    void httpProxy_data();
    void httpProxy();
    void connectRequest_data();
    void connectRequest();
    void ipv6HostKeepsBrackets();
    void injectionRefused_data();
    void injectionRefused();
    void fakeContinue();
    void requestOnClosedStream();
    void keepAliveRequests_data();
    void keepAliveRequests();
};

void TestStreamRequest::directGet_data() {
    QTest::addColumn<bool>("async");
    QTest::newRow("blocking") << false;
    QTest::newRow("async") << true;
}

void TestStreamRequest::directGet() {
    QFETCH(bool, async);
    ScriptedServer server(answer(kOk));
    boost::system::error_code ec;
    std::string bytes = capture(server, server.url("/dir/a.bin?q=1&r=2#frag"), async, {}, nullptr, &ec);
    QVERIFY2(!ec, ec.message().c_str());
    std::string port = std::to_string(server.port());
    // The fragment is the client's own: it never goes into the request.
    QCOMPARE(bytes, "GET /dir/a.bin?q=1&r=2 HTTP/1.1\r\nHost: 127.0.0.1:" + port + "\r\n" + kAccept + kAgent +
                        "Connection: close\r\n\r\n");
}

void TestStreamRequest::options_data() {
    QTest::addColumn<bool>("async");
    QTest::newRow("blocking") << false;
    QTest::newRow("async") << true;
}

void TestStreamRequest::options() {
    QFETCH(bool, async);
    ScriptedServer server(answer(kOk));
    dlhttp::option_list options;
    options.insert("Range", "bytes=0-");
    options.insert("Connection", "keep-alive");
    options.insert("_status_code", "200");
    options.insert("_path", "/elsewhere");
    options.insert("host", "example.test");
    options.insert("User-Agent", "TestAgent/1");
    std::string bytes = capture(server, server.url("/x"), async, options);
    // The caller's Connection replaces the default; Range and the lower-case
    // host follow as extra lines; the engine's own names are never sent.
    QCOMPARE(bytes, "GET /x HTTP/1.1\r\nHost: example.test\r\n" + kAccept +
                        "User-Agent: TestAgent/1\r\nConnection: keep-alive\r\nRange: bytes=0-\r\nhost: "
                        "example.test\r\n\r\n");
}

void TestStreamRequest::postBody() {
    ScriptedServer server([](ScriptedServer::Connection& c) {
        c.readHead();
        c.readExactly(5);
        c.write(kOk);
    });
    dlhttp::option_list options;
    options.insert("_request_method", "POST");
    options.insert("_request_body", "a=b&c");
    std::string bytes = capture(server, server.url("/form"), false, options);
    std::string port = std::to_string(server.port());
    QCOMPARE(bytes, "POST /form HTTP/1.1\r\nHost: 127.0.0.1:" + port + "\r\n" + kAccept + kAgent +
                        "Connection: close\r\n\r\na=b&c");
}

void TestStreamRequest::httpProxy_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("expected");
    // The absolute target carries neither the fragment nor user information.
    const QString head = "GET http://example.test/x?y HTTP/1.1\r\nHost: example.test\r\n";
    const QString accept = QString::fromStdString(kAccept), agent = QString::fromStdString(kAgent);
    const QString auth = "Proxy-Authorization: Basic dXNlcjpwYXNz\r\n";
    QTest::newRow("credentials, blocking") << false << 5 << "http://example.test/x?y#f"
                                           << head + accept + agent + "Proxy-Connection: close\r\n" + auth + "\r\n";
    // The asynchronous form writes the authorization right after Accept.
    QTest::newRow("credentials, async") << true << 5 << "http://example.test/x?y#f"
                                        << head + accept + auth + agent + "Proxy-Connection: close\r\n\r\n";
    QTest::newRow("no credentials") << false << 4 << "http://example.test/x?y#f"
                                    << head + accept + agent + "Proxy-Connection: close\r\n\r\n";
    QTest::newRow("credentials from the URL")
        << false << 4 << "http://u:p@example.test/"
        << "GET http://example.test/ HTTP/1.1\r\nHost: example.test\r\n" + accept + agent +
               "Proxy-Connection: close\r\nProxy-Authorization: Basic dTpw\r\n\r\n";
}

void TestStreamRequest::httpProxy() {
    QFETCH(bool, async);
    QFETCH(int, kind);
    QFETCH(QString, url);
    QFETCH(QString, expected);
    ScriptedServer server(answer(kOk));
    dlhttp::ProxySettings proxy = proxyAt(server, kind, "user", "pass");
    boost::system::error_code ec;
    std::string bytes = capture(server, url.toStdString(), async, {}, &proxy, &ec);
    QVERIFY2(!ec, ec.message().c_str());
    QCOMPARE(QString::fromStdString(bytes), expected);
}

void TestStreamRequest::connectRequest_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("expected");
    const QString accept = QString::fromStdString(kAccept), agent = QString::fromStdString(kAgent);
    const QString head = "CONNECT example.test:443 HTTP/1.1\r\nHost: example.test\r\n";
    // Both forms send the proxy credentials with CONNECT.
    QTest::newRow("credentials, blocking")
        << false << 5 << head + "Proxy-Authorization:Basic dXNlcjpwYXNz\r\n" + accept + agent + "\r\n";
    QTest::newRow("credentials, async") << true << 5
                                        << head + "Proxy-Authorization:Basic dXNlcjpwYXNz\r\n" + accept + agent +
                                               "\r\n";
    QTest::newRow("no credentials") << true << 4 << head + accept + agent + "\r\n";
}

void TestStreamRequest::connectRequest() {
    QFETCH(bool, async);
    QFETCH(int, kind);
    QFETCH(QString, expected);
    ScriptedServer server(answer("HTTP/1.1 407 Proxy Authentication Required\r\nContent-Length: 0\r\n\r\n"));
    dlhttp::ProxySettings proxy = proxyAt(server, kind, "user", "pass");
    boost::system::error_code ec;
    std::string bytes = capture(server, "https://example.test/x", async, {}, &proxy, &ec);
    QCOMPARE(ec, make_error_code(dlhttp::proxy_authentication_required));
    QCOMPARE(QString::fromStdString(bytes), expected);
}

void TestStreamRequest::ipv6HostKeepsBrackets() {
    ScriptedServer server(answer(kOk), true);
    std::string port = std::to_string(server.port());
    std::string direct = capture(server, server.url("/v6"), true);
    QCOMPARE(direct,
             "GET /v6 HTTP/1.1\r\nHost: [::1]:" + port + "\r\n" + kAccept + kAgent + "Connection: close\r\n\r\n");

    ScriptedServer proxyServer(answer("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n"));
    dlhttp::ProxySettings proxy = proxyAt(proxyServer, 4);
    std::string tunnel = capture(proxyServer, "https://[::1]:8443/", false, {}, &proxy);
    QCOMPARE(tunnel, "CONNECT [::1]:8443 HTTP/1.1\r\nHost: [::1]:8443\r\n" + kAccept + kAgent + "\r\n");
}

void TestStreamRequest::injectionRefused_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<QString>("where");
    for (bool async : {false, true}) {
        for (const char* where : {"option value", "option name", "method", "URL path", "Host option", "proxy user",
                                  "proxy password", "CONNECT proxy user"})
            formRow(where, async) << where;
    }
}

void TestStreamRequest::injectionRefused() {
    QFETCH(bool, async);
    QFETCH(QString, where);
    ScriptedServer server(answer(kOk));
    dlhttp::option_list options;
    dlhttp::ProxySettings proxy;
    std::string url = server.url("/x");
    const std::string evil = std::string("a\r\nX-Injected: 1");
    if (where == "option value") options.insert("Referer", evil);
    if (where == "option name") options.insert("X\nY", "1");
    if (where == "method") options.insert("_request_method", std::string("GET\0 /", 6));
    if (where == "URL path") url = server.url("/x\r\nX-Injected:1");
    if (where == "Host option") options.insert("Host", evil);
    if (where == "proxy user") proxy = proxyAt(server, 5, evil, "p");
    if (where == "proxy password") proxy = proxyAt(server, 5, "u", std::string("p\0q", 3));
    if (where == "CONNECT proxy user") {
        proxy = proxyAt(server, 5, evil, "p");
        url = "https://example.test/";
    }
    boost::system::error_code ec;
    std::string bytes = capture(server, url, async, options, proxy.kind ? &proxy : nullptr, &ec);
    QCOMPARE(ec, boost::system::error_code(boost::asio::error::invalid_argument));
    QCOMPARE(bytes, std::string());
}

void TestStreamRequest::fakeContinue() {
    ScriptedServer server([](ScriptedServer::Connection& c) {
        c.readHead();
        c.readToEnd();
    });
    dlhttp::option_list options;
    options.set_fake_continue(true);
    boost::system::error_code ec;
    std::string bytes = capture(server, server.url("/f"), true, options, nullptr, &ec);
    QCOMPARE(ec, make_error_code(dlhttp::fake_continue));
    QVERIFY(bytes.find("GET /f HTTP/1.1\r\n") == 0);
}

void TestStreamRequest::requestOnClosedStream() {
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    for (bool async : {false, true}) {
        streamtest::Opened r = streamtest::request(io, s, dlhttp::option_list(), async);
        QCOMPARE(r.ec, boost::system::error_code(boost::asio::error::network_reset));
        QVERIFY(!r.calledInside);
        QCOMPARE(r.calls, 1);
    }
}

void TestStreamRequest::keepAliveRequests_data() {
    QTest::addColumn<bool>("async");
    QTest::newRow("blocking") << false;
    QTest::newRow("async") << true;
}

void TestStreamRequest::keepAliveRequests() {
    QFETCH(bool, async);
    ScriptedServer server(
        answer("HTTP/1.1 206 Partial Content\r\nContent-Length: 3\r\nConnection: keep-alive\r\n\r\nabc"));
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    dlhttp::option_list options;
    options.insert("Connection", "keep-alive");
    options.insert("Range", "bytes=0-2");
    s.request_options(options);
    streamtest::Opened opened = streamtest::open(io, s, server.url("/k"), async);
    QVERIFY2(!opened.ec, opened.ec.message().c_str());
    for (int i = 0; i < 3; ++i) {
        streamtest::Body body = streamtest::readBody(io, s, async, 2);
        QCOMPARE(body.bytes, std::string("abc"));
        QVERIFY2(!body.ec, body.ec.message().c_str());  // kept alive: the end is a clean 0
        QVERIFY(s.keep_alive());
        options.remove("Range");
        options.insert("Range", "bytes=" + std::to_string(i + 3) + "-" + std::to_string(i + 5));
        if (i < 2) {
            streamtest::Opened next = streamtest::request(io, s, options, async);
            QVERIFY2(!next.ec, next.ec.message().c_str());
        }
    }
    boost::system::error_code ignored;
    s.close(ignored);
    server.waitForConnection(0);
    QCOMPARE(server.connectionCount(), std::size_t(1));
    std::string all = server.received(0);
    QVERIFY(all.find("Range: bytes=0-2\r\n") != std::string::npos);
    QVERIFY(all.find("Range: bytes=3-5\r\n") != std::string::npos);
    QVERIFY(all.find("Range: bytes=4-6\r\n") != std::string::npos);
}

QTEST_APPLESS_MAIN(TestStreamRequest)
#include "tst_stream_request.moc"
