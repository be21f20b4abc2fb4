// The stream against real servers on 127.0.0.1: nginx over HTTP and HTTPS
// (certificate checks with a throw-away CA), chunked and gzip bodies, redirect
// chains, keep-alive reuse, squid as HTTP proxy and CONNECT tunnel (with and
// without Basic authentication), microsocks as SOCKS 5 proxy (with and
// without user name and password), each in the blocking and asynchronous form.
#include "StreamTestUtil.h"

#include "dlhttp/http_error.h"
#include "dlhttp/http_stream.h"

#include "testsupport/ServerUtil.h"
#include "testsupport/TestNginx.h"
#include "testsupport/TestSocks.h"
#include "testsupport/TestSquid.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <boost/asio/read_until.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/write.hpp>

#include <memory>
#include <thread>

using namespace testsupport;
using streamtest::formName;
using streamtest::formRow;

namespace {

std::string pattern(std::size_t n) {
    std::string out(n, '\0');
    uint32_t x = 12345;
    for (auto& c : out) {
        x = x * 1103515245 + 12345;
        c = static_cast<char>(x >> 24);
    }
    return out;
}

bool run(const QString& program, const QStringList& args, const QString& dir) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

void addForms() {
    QTest::addColumn<bool>("async");
    QTest::newRow("blocking") << false;
    QTest::newRow("async") << true;
}

struct Fetch {
    boost::system::error_code ec;
    std::string body;
    boost::system::error_code end;
};

}  // namespace

class TestStreamNet : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void plainAndTls_data();
    void plainAndTls();
    void certificateChecks_data();
    void certificateChecks();
    void chunkedAndGzip_data();
    void chunkedAndGzip();
    void redirectChains_data() { addForms(); }
    void redirectChains();
    void keepAliveReusesConnection_data() { addForms(); }
    void keepAliveReusesConnection();
    void squidProxy_data();
    void squidProxy();
    void socksProxy_data();
    void socksProxy();
    void tlsEndWithoutCloseNotify_data();
    void tlsEndWithoutCloseNotify();

private:
    Fetch fetch(const std::string& url, bool async, const dlhttp::option_list& options = dlhttp::option_list(),
                const dlhttp::ProxySettings* proxy = nullptr, bool checkCertificate = true,
                const std::string& caFile = std::string(), dlhttp::http_stream* keep = nullptr);

    std::unique_ptr<TestNginx> m_nginx;
    std::unique_ptr<TestSquid> m_squid;
    std::unique_ptr<TestSquid> m_squidAuth;
    std::unique_ptr<TestSocks> m_socks;
    std::unique_ptr<TestSocks> m_socksAuth;
    QTemporaryDir m_certs;
    QString m_otherCa;
    int m_wrongNamePort = 0;
    std::string m_file;
    std::string m_text;
};

void TestStreamNet::initTestCase() {
    ZN_REQUIRE_BINARY("nginx");
    ZN_REQUIRE_BINARY("squid");
    ZN_REQUIRE_BINARY("microsocks");
    ZN_REQUIRE_BINARY("openssl");
    QString error;
    m_file = pattern(300 * 1024);
    for (int i = 0; i < 4000; ++i) m_text += "text line " + std::to_string(i) + "\n";

    // A second authority and a certificate it issued for another name, served
    // by an extra nginx server block.
    TestCertificates other;
    QVERIFY2(makeTestCertificates(m_certs.path(), &other, &error), qPrintable(error));
    m_otherCa = other.caCert;
    const QString dir = m_certs.path();
    QVERIFY(run("openssl",
                {"req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", "wrong.key", "-subj", "/CN=wrong.example",
                 "-out", "wrong.csr"},
                dir));
    QFile ext(dir + "/wrong.ext");
    QVERIFY(ext.open(QIODevice::WriteOnly));
    ext.write("subjectAltName=DNS:wrong.example\n");
    ext.close();
    QVERIFY(run("openssl",
                {"x509", "-req", "-in", "wrong.csr", "-CA", other.caCert, "-CAkey", other.caKey, "-CAcreateserial",
                 "-out", "wrong.crt", "-days", "2", "-extfile", "wrong.ext"},
                dir));
    m_nginx.reset(new TestNginx);
    m_nginx->addFile("data/file.bin", QByteArray::fromStdString(m_file));
    m_nginx->addFile("ssi/text.txt", QByteArray::fromStdString(m_text));
    m_nginx->addFile("gz/text.txt", QByteArray::fromStdString(m_text));
    m_nginx->addFile("gzs/text.txt", QByteArray::fromStdString(m_text));
    m_nginx->addFile("gzs/text.txt.gz", QByteArray::fromStdString(streamtest::gzipped(m_text)));
    m_nginx->addConfig("location /ssi/ { ssi on; ssi_types *; }");
    m_nginx->addConfig("location /gz/ { gzip on; gzip_min_length 1; gzip_types *; }");
    m_nginx->addConfig("location /gzs/ { gzip_static on; }");
    for (int i = 0; i < 6; ++i)
        m_nginx->addRedirect(QString("/c%1").arg(i), QString("/c%1").arg(i + 1), i % 2 ? 302 : 301);
    for (int i = 0; i < 5; ++i)
        m_nginx->addRedirect(QString("/f%1").arg(i), i < 4 ? QString("/f%1").arg(i + 1) : "/data/file.bin", 301);
    m_nginx->addRedirect("/see", "/data/file.bin", 303);
    m_nginx->addRedirect("/temp", "/data/file.bin", 307);
    const int wrongName = m_nginx->addPort();
    m_nginx->addConfig(QString("server { listen 127.0.0.1:@PORT%1@ ssl; ssl_certificate %2/wrong.crt; "
                               "ssl_certificate_key %2/wrong.key; location / { return 200 'wrong'; } }")
                           .arg(wrongName)
                           .arg(dir),
                       TestNginx::Context::Http);
    QVERIFY2(m_nginx->start(&error), qPrintable(error));
    m_wrongNamePort = m_nginx->extraPort(wrongName);

    m_squid.reset(new TestSquid);
    QVERIFY2(m_squid->start(&error), qPrintable(error));
    m_squidAuth.reset(new TestSquid);
    QVERIFY2(m_squidAuth->start("proxyuser", "proxypass", &error), qPrintable(error));
    m_socks.reset(new TestSocks);
    QVERIFY2(m_socks->start(&error), qPrintable(error));
    m_socksAuth.reset(new TestSocks);
    QVERIFY2(m_socksAuth->start("socksuser", "sockspass", &error), qPrintable(error));
}

void TestStreamNet::cleanupTestCase() {
    m_socksAuth.reset();
    m_socks.reset();
    m_squidAuth.reset();
    m_squid.reset();
    m_nginx.reset();
}

Fetch TestStreamNet::fetch(const std::string& url, bool async, const dlhttp::option_list& options,
                           const dlhttp::ProxySettings* proxy, bool checkCertificate, const std::string& caFile,
                           dlhttp::http_stream* keep) {
    boost::asio::io_context io;
    std::unique_ptr<dlhttp::http_stream> own;
    if (!keep) own.reset(new dlhttp::http_stream(io));
    dlhttp::http_stream& s = keep ? *keep : *own;
    boost::asio::io_context& context = static_cast<boost::asio::io_context&>(s.get_io_service());
    s.request_options(options);
    if (proxy) s.proxy(*proxy);
    s.check_certificate(checkCertificate);
    s.ca_file(caFile.empty() ? m_nginx->caCertPath().toStdString() : caFile);
    Fetch f;
    streamtest::Opened opened = streamtest::open(context, s, url, async);
    f.ec = opened.ec;
    if (!f.ec) {
        streamtest::Body body = streamtest::readBody(context, s, async, 4096);
        f.body = body.bytes;
        f.end = body.ec;
    }
    return f;
}

void TestStreamNet::plainAndTls_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<bool>("tls");
    for (bool async : {false, true})
        for (bool tls : {false, true}) formRow(tls ? "https" : "http", async) << tls;
}

void TestStreamNet::plainAndTls() {
    QFETCH(bool, async);
    QFETCH(bool, tls);
    QString url = tls ? m_nginx->httpsUrl("/data/file.bin") : m_nginx->httpUrl("/data/file.bin");
    Fetch f = fetch(url.toStdString(), async);
    QVERIFY2(!f.ec, f.ec.message().c_str());
    QCOMPARE(f.body.size(), m_file.size());
    QVERIFY(f.body == m_file);
    // "Connection: close" was asked for: nginx ends the body by closing.
    QCOMPARE(f.end, boost::system::error_code(boost::asio::error::eof));
}

void TestStreamNet::certificateChecks_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<QString>("server");
    QTest::addColumn<bool>("check");
    QTest::addColumn<QString>("ca");
    QTest::addColumn<bool>("accepted");
    for (bool async : {false, true}) {
        formRow("checked, CA given", async) << "nginx" << true << "nginx" << true;
        formRow("checked, no CA", async) << "nginx" << true << "none" << false;
        formRow("not checked, no CA", async) << "nginx" << false << "none" << true;
        formRow("checked, certificate for another name", async) << "wrong" << true << "other" << false;
        formRow("not checked, certificate for another name", async) << "wrong" << false << "none" << true;
    }
}

void TestStreamNet::certificateChecks() {
    QFETCH(bool, async);
    QFETCH(QString, server);
    QFETCH(bool, check);
    QFETCH(QString, ca);
    QFETCH(bool, accepted);
    std::string url = server == "nginx" ? m_nginx->httpsUrl("/data/file.bin").toStdString()
                                        : "https://127.0.0.1:" + std::to_string(m_wrongNamePort) + "/";
    // A CA file that exists but does not know the server: the other authority
    // for nginx, nginx's for the other one.
    std::string caFile = ca == "nginx"       ? m_nginx->caCertPath().toStdString()
                         : ca == "other"     ? m_otherCa.toStdString()
                         : server == "nginx" ? m_otherCa.toStdString()
                                             : m_nginx->caCertPath().toStdString();
    Fetch f = fetch(url, async, {}, nullptr, check, caFile);
    if (accepted) {
        QVERIFY2(!f.ec, f.ec.message().c_str());
        QVERIFY(!f.body.empty());
    } else {
        QVERIFY(f.ec);
        QCOMPARE(QString(f.ec.category().name()), QString("asio.ssl"));
    }
}

void TestStreamNet::chunkedAndGzip_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("keepAlive");
    for (bool async : {false, true})
        for (const char* path : {"/ssi/text.txt", "/gz/text.txt", "/gzs/text.txt"})
            for (bool keepAlive : {false, true})
                formRow(QString("%1, %2").arg(path, keepAlive ? "kept" : "closing"), async) << path << keepAlive;
}

void TestStreamNet::chunkedAndGzip() {
    QFETCH(bool, async);
    QFETCH(QString, path);
    QFETCH(bool, keepAlive);
    dlhttp::option_list options;
    options.insert("Accept-Encoding", "gzip");
    options.insert("Connection", keepAlive ? "keep-alive" : "close");
    for (bool tls : {false, true}) {
        QString url = tls ? m_nginx->httpsUrl(path) : m_nginx->httpUrl(path);
        boost::asio::io_context io;
        dlhttp::http_stream s(io);
        Fetch f = fetch(url.toStdString(), async, options, nullptr, true, std::string(), &s);
        QVERIFY2(!f.ec, f.ec.message().c_str());
        QCOMPARE(f.body.size(), m_text.size());
        QVERIFY(f.body == m_text);
        QCOMPARE(f.end, keepAlive ? boost::system::error_code() : boost::system::error_code(boost::asio::error::eof));
        std::string encoding = s.response_options().find("Content-Encoding");
        std::string transfer = s.response_options().find("Transfer-Encoding");
        if (path.startsWith("/gz")) QCOMPARE(encoding, std::string("gzip"));
        if (path != "/gzs/text.txt") QCOMPARE(transfer, std::string("chunked"));
    }
}

void TestStreamNet::redirectChains() {
    QFETCH(bool, async);
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    // Five redirects are followed.
    Fetch f = fetch(m_nginx->httpUrl("/f0").toStdString(), async, {}, nullptr, true, std::string(), &s);
    QVERIFY2(!f.ec, f.ec.message().c_str());
    QVERIFY(f.body == m_file);
    QCOMPARE(s.final_url().path(), std::string("/data/file.bin"));
    QCOMPARE(s.redirect_count(), 0u);
    // The sixth 301/302 in a row is the result.
    f = fetch(m_nginx->httpUrl("/c0").toStdString(), async, {}, nullptr, true, std::string(), &s);
    QCOMPARE(f.ec, make_error_code(dlhttp::found));  // /c5 answers 302
    QCOMPARE(s.redirect_count(), 0u);
    QCOMPARE(QString::fromStdString(s.location()), m_nginx->httpUrl("/c6"));
    // 303 and 307 are never followed.
    QCOMPARE(fetch(m_nginx->httpUrl("/see").toStdString(), async).ec, make_error_code(dlhttp::see_other));
    QCOMPARE(fetch(m_nginx->httpUrl("/temp").toStdString(), async).ec, make_error_code(dlhttp::temporary_redirect));
    // Also over HTTPS, to a redirect that names the other scheme's server.
    f = fetch(m_nginx->httpsUrl("/f3").toStdString(), async);
    QVERIFY2(!f.ec, f.ec.message().c_str());
    QVERIFY(f.body == m_file);
}

void TestStreamNet::keepAliveReusesConnection() {
    QFETCH(bool, async);
    const int before = m_nginx->accessLog().size();
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    dlhttp::option_list options;
    options.insert("Connection", "keep-alive");
    options.insert("Range", "bytes=0-999");
    s.request_options(options);
    QCOMPARE(streamtest::open(io, s, m_nginx->httpUrl("/data/file.bin").toStdString(), async).ec,
             boost::system::error_code());
    for (int i = 0; i < 3; ++i) {
        streamtest::Body body = streamtest::readBody(io, s, async, 300);
        QVERIFY2(!body.ec, body.ec.message().c_str());
        QVERIFY(body.bytes == m_file.substr(i * 1000, 1000));
        if (i == 2) break;
        dlhttp::option_list next;
        next.insert("Connection", "keep-alive");
        next.insert("Range", "bytes=" + std::to_string((i + 1) * 1000) + "-" + std::to_string((i + 1) * 1000 + 999));
        QCOMPARE(streamtest::request(io, s, next, async).ec, boost::system::error_code());
        QCOMPARE(s.status_code(), 206);
    }
    boost::system::error_code ignored;
    s.close(ignored);
    QList<AccessLogEntry> log = m_nginx->accessLog(before + 3);
    QCOMPARE(log.size(), before + 3);
    QCOMPARE(log[before].connectionRequests, 1);
    QCOMPARE(log[before + 1].connection, log[before].connection);
    QCOMPARE(log[before + 2].connection, log[before].connection);
    QCOMPARE(log[before + 2].range, QString("bytes=2000-2999"));
}

void TestStreamNet::squidProxy_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<bool>("tls");
    QTest::addColumn<bool>("authProxy");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("expected");
    for (bool async : {false, true})
        for (bool tls : {false, true}) {
            auto row = [&](const char* name) {
                return &formRow(QString("%1, %2").arg(name, tls ? "CONNECT" : "plain"), async);
            };
            *row("open proxy") << tls << false << 4 << 0;
            *row("credentials") << tls << true << 5 << 0;
            *row("no credentials") << tls << true << 4 << 407;
        }
}

void TestStreamNet::squidProxy() {
    QFETCH(bool, async);
    QFETCH(bool, tls);
    QFETCH(bool, authProxy);
    QFETCH(int, kind);
    QFETCH(int, expected);
    TestSquid& squid = authProxy ? *m_squidAuth : *m_squid;
    const int before = squid.accessLog().size();
    dlhttp::ProxySettings proxy;
    proxy.host = "127.0.0.1";
    proxy.port = squid.port();
    proxy.kind = kind;
    if (kind == 5) {
        proxy.username = "proxyuser";
        proxy.password = "proxypass";
    }
    QString url = tls ? m_nginx->httpsUrl("/data/file.bin") : m_nginx->httpUrl("/data/file.bin");
    Fetch f = fetch(url.toStdString(), async, {}, &proxy);
    QCOMPARE(f.ec.value(), expected);
    if (expected) return;
    QVERIFY(f.body == m_file);
    QList<ProxyLogEntry> log = squid.accessLog(before + 1);
    QVERIFY(log.size() > before);
    const ProxyLogEntry& entry = log.last();
    if (tls) {
        QCOMPARE(entry.method, QString("CONNECT"));
        QCOMPARE(entry.squidStatus, QString("TCP_TUNNEL"));
    } else {
        QCOMPARE(entry.method, QString("GET"));
        QCOMPARE(entry.url, url);  // the request named the absolute URL
    }
    if (authProxy) QCOMPARE(entry.user, QString("proxyuser"));
}

void TestStreamNet::socksProxy_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<bool>("tls");
    QTest::addColumn<bool>("authProxy");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("expected");
    for (bool async : {false, true})
        for (bool tls : {false, true}) {
            auto row = [&](const char* name) {
                return &formRow(QString("%1, %2").arg(name, tls ? "https" : "http"), async);
            };
            *row("no authentication") << tls << false << ""
                                      << "" << 0;
            *row("user and password") << tls << true << "socksuser"
                                      << "sockspass" << 0;
            *row("wrong password") << tls << true << "socksuser"
                                   << "wrong" << -1;
        }
}

void TestStreamNet::socksProxy() {
    QFETCH(bool, async);
    QFETCH(bool, tls);
    QFETCH(bool, authProxy);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(int, expected);
    dlhttp::ProxySettings proxy;
    proxy.host = "127.0.0.1";
    proxy.port = (authProxy ? m_socksAuth : m_socks)->port();
    proxy.kind = authProxy ? 3 : 2;
    proxy.username = user.toStdString();
    proxy.password = password.toStdString();
    QString url = tls ? m_nginx->httpsUrl("/data/file.bin") : m_nginx->httpUrl("/data/file.bin");
    Fetch f = fetch(url.toStdString(), async, {}, &proxy);
    if (expected == 0) {
        QVERIFY2(!f.ec, f.ec.message().c_str());
        QVERIFY(f.body == m_file);
    } else {
        QCOMPARE(f.ec, make_error_code(dlhttp::socks_authentication_error));
    }
}

void TestStreamNet::tlsEndWithoutCloseNotify_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("cut");
    for (bool async : {false, true}) {
        formRow("short of its length", async) << "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc" << true;
        formRow("to the end of the connection", async) << "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nabc" << false;
    }
}

// A TLS server that ends the TCP connection without close_notify: a body
// short of its length is cut (partial_message), one that runs to the end of
// the connection ends with end of file.
void TestStreamNet::tlsEndWithoutCloseNotify() {
    QFETCH(bool, async);
    QFETCH(QString, answer);
    QFETCH(bool, cut);
    using boost::asio::ip::tcp;
    boost::asio::io_context serverIo;
    boost::asio::ssl::context context(boost::asio::ssl::context::tls_server);
    context.use_certificate_chain_file((m_certs.path() + "/server.crt").toStdString());
    context.use_private_key_file((m_certs.path() + "/server.key").toStdString(), boost::asio::ssl::context::pem);
    tcp::acceptor acceptor(serverIo, tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"), 0));
    const std::string bytes = answer.toStdString();
    std::thread server([&] {
        tcp::socket raw(serverIo);
        boost::system::error_code ec;
        acceptor.accept(raw, ec);
        if (ec) return;
        boost::asio::ssl::stream<tcp::socket&> tls(raw, context);
        tls.handshake(boost::asio::ssl::stream_base::server, ec);
        if (ec) return;
        boost::asio::streambuf head;
        boost::asio::read_until(tls, head, "\r\n\r\n", ec);
        boost::asio::write(tls, boost::asio::buffer(bytes), ec);
        raw.shutdown(tcp::socket::shutdown_both, ec);
        raw.close(ec);
    });
    std::string url = "https://127.0.0.1:" + std::to_string(acceptor.local_endpoint().port()) + "/cut";
    Fetch f = fetch(url, async, {}, nullptr, false);
    server.join();
    QVERIFY2(!f.ec, f.ec.message().c_str());
    QCOMPARE(f.body, std::string("abc"));
    if (cut)
        QCOMPARE(f.end, make_error_code(dlhttp::partial_message));
    else
        QCOMPARE(f.end, boost::system::error_code(boost::asio::error::eof));
}

QTEST_GUILESS_MAIN(TestStreamNet)
#include "tst_stream_net.moc"
