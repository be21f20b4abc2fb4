// The shared TLS context against nginx over TLS: one context per setting
// (verification, CA file, CA directory) for the whole process, a CA file that
// cannot be loaded or that changed on disk, and TLS session resumption: a
// second connection to the same server resumes the session of the first (TLS
// stream alone, two http_stream opens in both forms, and every connection of
// a multi-connection download), while a connection to another name, or one
// set up with other trust settings, does not.
#include "StreamTestUtil.h"

#include "dlhttp/http_stream.h"
#include "dlhttp/multi_download.h"
#include "dlhttp/ssl_stream.h"
#include "dlhttp/tls_context.h"

#include "testsupport/ServerUtil.h"
#include "testsupport/TestNginx.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <boost/asio/connect.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/ssl/host_name_verification.hpp>
#include <boost/asio/write.hpp>

#include <atomic>
#include <memory>
#include <set>
#include <thread>
#include <vector>

using namespace testsupport;
using dlhttp::detail::tls_context;
using streamtest::formName;

namespace {

struct Handshake {
    boost::system::error_code ec;
    bool offered = false;  // a kept session was offered
    bool reused = false;   // SSL_session_reused after the handshake
    std::string answer;
};

}  // namespace

class TestTlsContext : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void sharedPerSetting();
    void unloadableCaFileIsNotKept();
    void changedCaFileIsLoadedAnew();
    void secondConnectionResumes();
    void sessionStaysWithItsSettings();
    void streamOpensResumeSession_data();
    void streamOpensResumeSession();
    void downloadConnectionsResumeProbeSession();
    void threadsShareOneContext();

private:
    // A copy of nginx's CA under a new path: a context of its own, whose
    // session cache starts empty.
    std::string freshCaFile(const QByteArray& extra = QByteArray());
    // One TLS connection to nginx over the TLS stream alone: handshake, a
    // request and its whole answer (TLS 1.3 hands out the session tickets
    // after the handshake).
    Handshake connectOnce(const std::shared_ptr<tls_context>& context, const std::string& host, bool verify);

    std::unique_ptr<TestNginx> m_nginx;
    QTemporaryDir m_dir;
    QString m_otherCa;
    QByteArray m_big;
    int m_copies = 0;
};

void TestTlsContext::initTestCase() {
    ZN_REQUIRE_BINARY("nginx");
    ZN_REQUIRE_BINARY("openssl");
    QString error;
    TestCertificates other;
    QVERIFY2(makeTestCertificates(m_dir.path() + "/other", &other, &error), qPrintable(error));
    m_otherCa = other.caCert;
    m_nginx.reset(new TestNginx);
    m_nginx->addFile("data/small.txt", "small file\n");
    m_big = QByteArray(2 * 1024 * 1024, '\0');
    for (int i = 0; i < m_big.size(); ++i) m_big[i] = static_cast<char>((static_cast<uint32_t>(i) * 7919u) >> 5);
    m_nginx->addFile("data/big.bin", m_big);
    QVERIFY2(m_nginx->start(&error), qPrintable(error));
}

void TestTlsContext::cleanupTestCase() { m_nginx.reset(); }

std::string TestTlsContext::freshCaFile(const QByteArray& extra) {
    QFile source(m_nginx->caCertPath());
    if (!source.open(QIODevice::ReadOnly)) return std::string();
    const QString path = QString("%1/ca-%2.pem").arg(m_dir.path()).arg(++m_copies);
    QFile copy(path);
    if (!copy.open(QIODevice::WriteOnly)) return std::string();
    copy.write(source.readAll() + extra);
    return path.toStdString();
}

Handshake TestTlsContext::connectOnce(const std::shared_ptr<tls_context>& context, const std::string& host,
                                      bool verify) {
    Handshake result;
    boost::asio::io_context io;
    boost::asio::ip::tcp::socket socket(io);
    const auto port = static_cast<unsigned short>(m_nginx->httpsPort());
    socket.connect({boost::asio::ip::make_address("127.0.0.1"), port}, result.ec);
    if (result.ec) return result;
    dlhttp::detail::ssl_stream tls(socket, context);
    SSL* ssl = tls.stream().native_handle();
    SSL_set_tlsext_host_name(ssl, host.c_str());
    result.offered = tls.resume_session(host, port);
    if (verify) {
        tls.stream().set_verify_mode(boost::asio::ssl::verify_peer);
        tls.stream().set_verify_callback(boost::asio::ssl::host_name_verification(host));
    }
    tls.stream().handshake(boost::asio::ssl::stream_base::client, result.ec);
    if (result.ec) return result;
    result.reused = SSL_session_reused(ssl) == 1;
    const std::string request = "GET /data/small.txt HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n";
    boost::asio::write(tls.stream(), boost::asio::buffer(request), result.ec);
    if (result.ec) return result;
    boost::system::error_code end;
    char buffer[4096];
    for (;;) {
        std::size_t n = tls.stream().read_some(boost::asio::buffer(buffer), end);
        result.answer.append(buffer, n);
        if (end) break;
    }
    return result;
}

void TestTlsContext::sharedPerSetting() {
    const std::string ca = freshCaFile();
    const std::string other = m_otherCa.toStdString();
    boost::system::error_code ec;
    std::shared_ptr<tls_context> first = tls_context::shared(true, ca, "", ec);
    QVERIFY2(!ec && first, ec.message().c_str());
    QCOMPARE(tls_context::shared(true, ca, "", ec), first);
    QVERIFY(!ec);
    // Each setting that changes what is trusted, or whether it is checked,
    // has a context of its own.
    QVERIFY(tls_context::shared(false, ca, "", ec) != first);
    QVERIFY(tls_context::shared(true, other, "", ec) != first);
    QVERIFY(tls_context::shared(true, ca, m_dir.path().toStdString(), ec) != first);
    QVERIFY(tls_context::shared(true, "", "", ec) != first);
    QVERIFY(!ec);
    QCOMPARE(tls_context::shared(false, ca, "", ec), tls_context::shared(false, ca, "", ec));
}

void TestTlsContext::unloadableCaFileIsNotKept() {
    const std::string path = (m_dir.path() + "/later.pem").toStdString();
    boost::system::error_code ec;
    QVERIFY(!tls_context::shared(true, path, "", ec));
    QVERIFY(ec);
    QCOMPARE(QString(ec.category().name()), QString("asio.ssl"));
    QVERIFY(QFile::copy(m_nginx->caCertPath(), QString::fromStdString(path)));
    std::shared_ptr<tls_context> context = tls_context::shared(true, path, "", ec);
    QVERIFY2(!ec && context, ec.message().c_str());
    QVERIFY2(!connectOnce(context, "127.0.0.1", true).ec, "the CA file that exists now is trusted");
}

void TestTlsContext::changedCaFileIsLoadedAnew() {
    const std::string path = freshCaFile();
    boost::system::error_code ec;
    std::shared_ptr<tls_context> before = tls_context::shared(true, path, "", ec);
    QVERIFY2(!ec, ec.message().c_str());
    QVERIFY(!connectOnce(before, "127.0.0.1", true).ec);
    // The same path now names another authority only.
    QFile file(QString::fromStdString(path));
    QFile other(m_otherCa);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && other.open(QIODevice::ReadOnly));
    file.write(other.readAll() + "# replaced\n");
    file.close();
    std::shared_ptr<tls_context> after = tls_context::shared(true, path, "", ec);
    QVERIFY2(!ec, ec.message().c_str());
    QVERIFY(after != before);
    Handshake h = connectOnce(after, "127.0.0.1", true);
    QVERIFY2(h.ec, "nginx's authority is no longer in the file");
    QCOMPARE(QString(h.ec.category().name()), QString("asio.ssl"));
}

void TestTlsContext::secondConnectionResumes() {
    boost::system::error_code ec;
    std::shared_ptr<tls_context> context = tls_context::shared(true, freshCaFile(), "", ec);
    QVERIFY2(!ec, ec.message().c_str());
    Handshake first = connectOnce(context, "127.0.0.1", true);
    QVERIFY2(!first.ec, first.ec.message().c_str());
    QVERIFY(!first.offered);
    QVERIFY(!first.reused);
    QVERIFY(first.answer.find("small file") != std::string::npos);
    QCOMPARE(context->sessions().size(), std::size_t(1));
    Handshake second = connectOnce(context, "127.0.0.1", true);
    QVERIFY2(!second.ec, second.ec.message().c_str());
    QVERIFY(second.offered);
    QVERIFY(second.reused);
    QVERIFY(second.answer.find("small file") != std::string::npos);
    // The same server under another name gets no session: its name was
    // never checked on this context.
    Handshake otherName = connectOnce(context, "localhost", true);
    QVERIFY2(!otherName.ec, otherName.ec.message().c_str());
    QVERIFY(!otherName.offered);
    QVERIFY(!otherName.reused);
}

void TestTlsContext::sessionStaysWithItsSettings() {
    // A session made without checking the certificate is not offered by a
    // context that checks it: the check still fails with an authority that
    // does not know nginx.
    const std::string other = m_otherCa.toStdString();
    boost::system::error_code ec;
    std::shared_ptr<tls_context> unchecked = tls_context::shared(false, other, "", ec);
    QVERIFY2(!ec, ec.message().c_str());
    QVERIFY(!connectOnce(unchecked, "127.0.0.1", false).ec);
    QVERIFY(connectOnce(unchecked, "127.0.0.1", false).reused);
    std::shared_ptr<tls_context> checked = tls_context::shared(true, other, "", ec);
    QVERIFY2(!ec, ec.message().c_str());
    Handshake h = connectOnce(checked, "127.0.0.1", true);
    QVERIFY(!h.offered);
    QVERIFY2(h.ec, "nginx's certificate must still be checked");
    QCOMPARE(QString(h.ec.category().name()), QString("asio.ssl"));
}

void TestTlsContext::streamOpensResumeSession_data() {
    QTest::addColumn<bool>("async");
    for (bool async : {false, true}) QTest::newRow(formName(async)) << async;
}

void TestTlsContext::streamOpensResumeSession() {
    QFETCH(bool, async);
    const std::string ca = freshCaFile();
    const int logged = m_nginx->accessLog().size();
    for (int i = 0; i < 3; ++i) {
        boost::asio::io_context io;
        dlhttp::http_stream s(io);
        s.ca_file(ca);
        streamtest::Opened opened = streamtest::open(io, s, m_nginx->httpsUrl("/data/small.txt").toStdString(), async);
        QVERIFY2(!opened.ec, opened.ec.message().c_str());
        streamtest::Body body = streamtest::readBody(io, s, async, 4096);
        QCOMPARE(body.bytes, std::string("small file\n"));
    }
    QList<AccessLogEntry> entries = m_nginx->accessLog(logged + 3).mid(logged);
    QCOMPARE(entries.size(), 3);
    QVERIFY2(!entries.at(0).tlsSessionReused, "the first connection has no session to resume");
    QVERIFY2(entries.at(1).tlsSessionReused, "the second connection resumes the first one's session");
    QVERIFY(entries.at(2).tlsSessionReused);
}

void TestTlsContext::downloadConnectionsResumeProbeSession() {
    DownloadSettings settings;
    settings.connections_limit = 8;
    settings.piece_size = 16 * 1024;
    settings.request_piece_num = 4;
    settings.ca_file = freshCaFile();
    const QString target = m_dir.path() + "/big.bin";
    settings.save_path = target.toStdWString();
    const int logged = m_nginx->accessLog().size();
    {
        boost::asio::io_context io;
        auto download = std::make_shared<dlhttp::multi_download>(io);  // its handlers hold it
        try {
            download->start(m_nginx->httpsUrl("/data/big.bin").toStdWString(), settings);
            io.run();
        } catch (const std::exception& e) {
            QFAIL(e.what());
        }
        QVERIFY(download->complete());
    }
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll() == m_big);

    // 2 MiB in ranges of 64 KiB: many requests, over several connections.
    const int requests = m_big.size() / (16 * 1024 * 4);
    QList<AccessLogEntry> entries = m_nginx->accessLog(logged + requests).mid(logged);
    QVERIFY(entries.size() >= requests);
    std::set<qint64> full;
    std::set<qint64> resumed;
    for (const AccessLogEntry& e : entries) (e.tlsSessionReused ? resumed : full).insert(e.connection);
    QCOMPARE(full.size(), std::size_t(1));  // the probe's
    QVERIFY2(resumed.size() >= 2, "the other connections resume the probe's session");
}

// Download tasks run on threads of their own: several threads looking up the
// same context and storing and offering sessions at once (run under
// scripts/test-tsan to see races).
void TestTlsContext::threadsShareOneContext() {
    const std::string ca = freshCaFile();
    std::atomic<int> failed(0);
    std::atomic<int> resumed(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&]() {
            for (int i = 0; i < 4; ++i) {
                boost::system::error_code ec;
                std::shared_ptr<tls_context> context = tls_context::shared(true, ca, "", ec);
                Handshake h;
                if (ec)
                    h.ec = ec;
                else
                    h = connectOnce(context, "127.0.0.1", true);
                if (h.ec || h.answer.find("small file") == std::string::npos) ++failed;
                if (h.reused) ++resumed;
            }
        });
    }
    for (std::thread& t : threads) t.join();
    QCOMPARE(failed.load(), 0);
    QVERIFY(resumed.load() > 0);
    boost::system::error_code ec;
    QCOMPARE(tls_context::shared(true, ca, "", ec)->sessions().size(), std::size_t(1));
}

QTEST_GUILESS_MAIN(TestTlsContext)
#include "tst_tls_context.moc"
