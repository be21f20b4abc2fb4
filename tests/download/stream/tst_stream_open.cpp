// The open as a whole against scripted servers on 127.0.0.1: one time limit
// for every phase and redirect hop, disarmed by every end; redirects without
// a Location, redirect targets escaped and stripped of their fragment,
// cookies that stay with their host across redirects, and a CONNECT after a
// redirect to another origin, in the blocking and the asynchronous form.
#include "ScriptedServer.h"
#include "StreamTestUtil.h"

#include "dlhttp/http_error.h"
#include "dlhttp/http_stream.h"

#include <QtTest>

#include <atomic>
#include <chrono>
#include <thread>

using streamtest::formName;
using streamtest::formRow;

namespace {

void addForms() {
    QTest::addColumn<bool>("async");
    QTest::newRow("blocking") << false;
    QTest::newRow("async") << true;
}

void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The request target of a request head ("GET /x HTTP/1.1..." gives "/x").
std::string target(const std::string& head) {
    std::size_t first = head.find(' ');
    std::size_t second = head.find(' ', first + 1);
    if (first == std::string::npos || second == std::string::npos) return std::string();
    return head.substr(first + 1, second - first - 1);
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string redirect(const std::string& location, const std::string& extra = "") {
    return "HTTP/1.1 302 Found\r\nLocation: " + location + "\r\n" + extra + "Content-Length: 0\r\n\r\n";
}

const std::string kOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += static_cast<char>(v);
    return out;
}

// True when `io` has no work left: run_for ends at once then, while a timer
// still armed keeps it running to the end of the wait.
bool idle(boost::asio::io_context& io) {
    io.restart();
    io.run_for(std::chrono::milliseconds(200));
    return io.stopped();
}

}  // namespace

class TestStreamOpen : public QObject {
    Q_OBJECT

private slots:
    void oneLimitForTheWholeOpen_data();
    void oneLimitForTheWholeOpen();
    void limitEndsWithTheOpen_data();
    void limitEndsWithTheOpen();
    void redirectWithoutLocation_data();
    void redirectWithoutLocation();
    void redirectTarget_data();
    void redirectTarget();
    void locationNamesTheFinalTarget_data() { addForms(); }
    void locationNamesTheFinalTarget();
    void cookiesStayWithTheirHost_data() { addForms(); }
    void cookiesStayWithTheirHost();
    void connectAfterRedirectNamesTheNewOrigin_data() { addForms(); }
    void connectAfterRedirectNamesTheNewOrigin();
};

void TestStreamOpen::oneLimitForTheWholeOpen_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<QString>("way");
    for (bool async : {false, true})
        for (const char* way : {"redirect hops", "slow proxy, slow server"}) formRow(way, async) << way;
}

// Every step alone stays well inside the limit, all of them together do not:
// the open must end timed out, not start the limit again for each hop or
// phase.
void TestStreamOpen::oneLimitForTheWholeOpen() {
    QFETCH(bool, async);
    QFETCH(QString, way);
    const int step = 250;
    ScriptedServer server([way, step](ScriptedServer::Connection& c) {
        if (way == "redirect hops") {
            std::string path = target(c.readHead());
            pause(step);
            int hop = path.empty() ? 0 : path.back() - '0';
            c.write(hop < 3 ? redirect("/hop" + std::to_string(hop + 1)) : kOk);
            return;
        }
        // A SOCKS 5 proxy that is slow to connect on, and then a slow answer.
        if (c.readExactly(3).size() < 3) return;
        c.write(bytes({5, 0}));
        std::string request = c.readExactly(5);
        if (request.size() < 5) return;
        c.readExactly(static_cast<unsigned char>(request[4]) + 2);
        pause(step);
        c.write(bytes({5, 0, 0, 1, 127, 0, 0, 1, 0, 80}));
        if (c.readHead().empty()) return;
        pause(step);
        c.write(kOk);
        c.readToEnd();
    });
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    s.handshake_timeout(std::chrono::milliseconds(step * 2 - 50));
    std::string url = server.url("/hop0");
    if (way != "redirect hops") {
        dlhttp::ProxySettings proxy;
        proxy.host = "127.0.0.1";
        proxy.port = server.port();
        proxy.kind = dlhttp::proxy_socks5;
        s.proxy(proxy);
        url = "http://127.0.0.1:1/x";
    }
    streamtest::Opened opened = streamtest::open(io, s, url, async);
    QCOMPARE(opened.ec, boost::system::error_code(boost::asio::error::timed_out));
    QCOMPARE(opened.calls, 1);
}

void TestStreamOpen::limitEndsWithTheOpen_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<QString>("end");
    for (bool async : {false, true})
        for (const char* end : {"request refused before sending", "redirect to another scheme", "success"})
            formRow(end, async) << end;
}

// However an open ends, its time limit ends with it: nothing is left on the
// io_service (which would keep run() from returning and later close the
// connection of an open that has long ended).
void TestStreamOpen::limitEndsWithTheOpen() {
    QFETCH(bool, async);
    QFETCH(QString, end);
    ScriptedServer server([end](ScriptedServer::Connection& c) {
        c.readHead();
        c.write(end == "success" ? kOk : redirect("ftp://127.0.0.1/file"));
        c.readToEnd();
    });
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    s.handshake_timeout(std::chrono::seconds(20));
    std::string url = end == "request refused before sending" ? server.url("/x\r\nX-Injected: 1") : server.url("/x");
    streamtest::Opened opened = streamtest::open(io, s, url, async);
    boost::system::error_code expected;
    if (end == "request refused before sending") expected = boost::asio::error::invalid_argument;
    if (end == "redirect to another scheme") expected = boost::asio::error::operation_not_supported;
    QCOMPARE(opened.ec, expected);
    QVERIFY(!opened.calledInside);
    QVERIFY(idle(io));
    boost::system::error_code ignored;
    s.close(ignored);
}

void TestStreamOpen::redirectWithoutLocation_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<QString>("first");
    QTest::addColumn<int>("connections");
    for (bool async : {false, true}) {
        formRow("first answer", async) << "/none" << 1;
        formRow("after a redirect", async) << "/a" << 2;
    }
}

// A 301 or 302 without Location names nothing to follow: the open ends with
// its status (it neither throws nor follows an earlier Location again).
void TestStreamOpen::redirectWithoutLocation() {
    QFETCH(bool, async);
    QFETCH(QString, first);
    QFETCH(int, connections);
    ScriptedServer server([](ScriptedServer::Connection& c) {
        std::string path = target(c.readHead());
        if (path == "/a")
            c.write(redirect("/none"));
        else
            c.write("HTTP/1.1 302 Found\r\nContent-Length: 0\r\n\r\n");
    });
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    streamtest::Opened opened;
    try {
        opened = streamtest::open(io, s, server.url(first.toStdString()), async);
    } catch (const std::exception& e) {
        QFAIL(e.what());
    }
    QCOMPARE(opened.ec, make_error_code(dlhttp::found));
    // location() still names the target of the redirect followed before.
    QCOMPARE(s.location(), connections == 1 ? std::string() : server.url("/none"));
    QCOMPARE(s.redirect_count(), 0u);
    server.waitForConnection(static_cast<std::size_t>(connections - 1));
    QCOMPARE(server.connectionCount(), static_cast<std::size_t>(connections));
}

void TestStreamOpen::redirectTarget_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<QString>("location");
    QTest::addColumn<QString>("expected");  // the request target of the next request
    for (bool async : {false, true}) {
        // Escaped as the caller's URL is escaped.
        formRow("unsafe bytes", async) << QString::fromUtf8("/b c/\xc3\xa9") << "/b%20c/%c3%a9";
        formRow("fragment", async) << "/d?q=1#frag"
                                   << "/d?q=1";
        formRow("URL in the query", async) << "/login?next=http://example.invalid/y"
                                           << "/login?next=http://example.invalid/y";
        formRow("dot segments", async) << "../up/./x"
                                       << "/up/x";
    }
}

void TestStreamOpen::redirectTarget() {
    QFETCH(bool, async);
    QFETCH(QString, location);
    QFETCH(QString, expected);
    std::string to = location.toStdString();
    ScriptedServer server([to](ScriptedServer::Connection& c) {
        std::string path = target(c.readHead());
        c.write(path == "/dir/start" ? redirect(to) : kOk);
    });
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    QCOMPARE(streamtest::open(io, s, server.url("/dir/start"), async).ec, boost::system::error_code());
    server.waitForConnection(1);
    QCOMPARE(target(server.received(1)), expected.toStdString());
}

// After redirects, location() names the target that answered (the
// multi-connection download opens its other connections there).
void TestStreamOpen::locationNamesTheFinalTarget() {
    QFETCH(bool, async);
    ScriptedServer server([](ScriptedServer::Connection& c) {
        std::string path = target(c.readHead());
        c.write(path == "/a" ? redirect("/b") : path == "/b" ? redirect("c?x=1") : kOk);
    });
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    QCOMPARE(streamtest::open(io, s, server.url("/a"), async).ec, boost::system::error_code());
    QCOMPARE(s.location(), server.url("/c?x=1"));
    QCOMPARE(s.final_url().to_string(dlhttp::url::all_parts), server.url("/c?x=1"));
    // A new open starts without one.
    ScriptedServer plain([](ScriptedServer::Connection& c) {
        c.readHead();
        c.write(kOk);
    });
    QCOMPARE(streamtest::open(io, s, plain.url("/p"), async).ec, boost::system::error_code());
    QCOMPARE(s.location(), std::string());
}

// A cookie set by a redirect answer is kept and sent back to its host; the
// other host on the way never gets it.
void TestStreamOpen::cookiesStayWithTheirHost() {
    QFETCH(bool, async);
    std::atomic<int> portA{0}, portB{0};
    ScriptedServer a([&portB](ScriptedServer::Connection& c) {
        std::string path = target(c.readHead());
        if (path == "/start")
            c.write(redirect("http://localhost:" + std::to_string(portB.load()) + "/b", "Set-Cookie: a=1\r\n"));
        else
            c.write(kOk);
    });
    ScriptedServer b([&portA](ScriptedServer::Connection& c) {
        c.readHead();
        c.write(redirect("http://127.0.0.1:" + std::to_string(portA.load()) + "/back", "Set-Cookie: b=2\r\n"));
    });
    portA = a.port();
    portB = b.port();
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    QCOMPARE(streamtest::open(io, s, a.url("/start"), async).ec, boost::system::error_code());
    a.waitForConnection(1);
    b.waitForConnection(0);
    QVERIFY2(b.received(0).find("Cookie:") == std::string::npos, b.received(0).c_str());
    std::string back = a.received(1);
    QCOMPARE(target(back), std::string("/back"));
    QVERIFY2(back.find("\r\nCookie: a=1\r\n") != std::string::npos, back.c_str());
    QVERIFY2(back.find("b=2") == std::string::npos, back.c_str());
}

// Through an HTTP proxy: a plain request is redirected to an "https" URL of
// another origin; the CONNECT for it names that origin, also in its Host.
void TestStreamOpen::connectAfterRedirectNamesTheNewOrigin() {
    QFETCH(bool, async);
    ScriptedServer proxyServer([](ScriptedServer::Connection& c) {
        std::string head = c.readHead();
        if (head.compare(0, 8, "CONNECT ") == 0)
            c.write("HTTP/1.1 407 Proxy Authentication Required\r\nContent-Length: 0\r\n\r\n");
        else
            c.write(redirect("https://b.test:8443/y"));
    });
    dlhttp::ProxySettings proxy;
    proxy.host = "127.0.0.1";
    proxy.port = proxyServer.port();
    proxy.kind = dlhttp::proxy_http;
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    s.proxy(proxy);
    QCOMPARE(streamtest::open(io, s, "http://a.test/x", async).ec,
             make_error_code(dlhttp::proxy_authentication_required));
    proxyServer.waitForConnection(1);
    QVERIFY(startsWith(proxyServer.received(0), "GET http://a.test/x HTTP/1.1\r\nHost: a.test\r\n"));
    std::string connect = proxyServer.received(1);
    QVERIFY2(startsWith(connect, "CONNECT b.test:8443 HTTP/1.1\r\nHost: b.test:8443\r\n"), connect.c_str());
}

QTEST_APPLESS_MAIN(TestStreamOpen)
#include "tst_stream_open.moc"
