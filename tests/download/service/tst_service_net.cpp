// The download service against real servers on 127.0.0.1: nginx over HTTP and
// HTTPS (its throw-away CA given through the settings hook), nginx refusing
// ranges, squid as HTTP proxy and microsocks as SOCKS5 proxy, and a rate limit.
// Each download runs with 16 connections; the target's SHA-1 must equal the
// source's and no ".tmp" or ".cfg" may be left. nginx's access log shows how
// the download used its connections.
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include "ServiceTestUtil.h"
#include "dlhttp/DownloadTaskManager.h"
#include "testsupport/ServerUtil.h"
#include "testsupport/TestNginx.h"
#include "testsupport/TestSocks.h"
#include "testsupport/TestSquid.h"

using servicetest::fileExists;
using servicetest::randomBytes;
using servicetest::readFile;
using servicetest::sha1Hex;
using testsupport::AccessLogEntry;
using testsupport::TestNginx;

namespace {

// What the settings hook gives every new task (tasks are added by the tests
// one at a time, so plain globals do).
std::string g_caFile;
dlhttp::ProxySettings g_proxy;
int32_t g_rateLimit = -1;

int64_t pieceSizeFor(int64_t size) { return dlhttp::derive_piece_size(size); }

}  // namespace

class TestServiceNet : public QObject {
    Q_OBJECT

private:
    TestNginx m_nginx;
    QTemporaryDir m_out;
    int m_counter = 0;

    std::string target(const QString& name) { return (m_out.path() + "/" + name).toStdString(); }

    QList<AccessLogEntry> entriesFor(const QString& uri, int atLeast) {
        QList<AccessLogEntry> entries;
        // nginx logs a request when it is finished; wait until the expected ones are there.
        for (const AccessLogEntry& entry : m_nginx.accessLog(atLeast)) {
            if (entry.uri == uri) entries.append(entry);
        }
        return entries;
    }

    // Downloads `uri` and checks the result; returns the run.
    servicetest::RunResult fetch(const QString& url, const std::string& content, const std::string& out) {
        servicetest::RunResult run = servicetest::runDownload(url.toStdString(), out, 240);
        [&] {
            QVERIFY(run.started);
            QCOMPARE(run.state, int(DownloadTaskFinished));
            QVERIFY(!run.sawBadState);
            QVERIFY(fileExists(out));
            QCOMPARE(sha1Hex(readFile(out)), sha1Hex(content));
            QVERIFY(!fileExists(out + ".tmp"));
            QVERIFY(!fileExists(out + ".cfg"));
            DownloadTaskStatus status;
            QVERIFY(QueryDownloadTask(run.id, status));
            QCOMPARE(status.file_size, int64_t(content.size()));
            QCOMPARE(status.bytes_done, int64_t(content.size()));
            QCOMPARE(status.fraction_done, 1.0f);
        }();
        return run;
    }

private slots:
    void initTestCase() {
        ZN_REQUIRE_BINARY("nginx");
        QVERIFY(m_out.isValid());
        m_nginx.addConfig("location /noranges/ { max_ranges 0; }");
        QString error;
        QVERIFY2(m_nginx.start(&error), qPrintable(error));
        DownloadTaskManager::instance()->settings_hook = [](DownloadSettings& settings) {
            settings.ca_file = g_caFile;
            settings.proxy = g_proxy;
            settings.rate_limit = g_rateLimit;
        };
    }

    void init() {
        g_caFile = m_nginx.caCertPath().toStdString();
        g_proxy = dlhttp::ProxySettings();
        g_rateLimit = -1;
    }

    void sizes_data() {
        QTest::addColumn<qint64>("size");
        QTest::newRow("0 bytes") << qint64(0);
        QTest::newRow("1 byte") << qint64(1);
        QTest::newRow("16383 bytes") << qint64(16383);
        QTest::newRow("16384 bytes") << qint64(16384);
        QTest::newRow("100000 bytes") << qint64(100000);
        QTest::newRow("10 MiB") << qint64(10 * 1024 * 1024);
        QTest::newRow("200 MiB") << qint64(200 * 1024 * 1024);
    }
    void sizes() {
        QFETCH(qint64, size);
        const std::string content = randomBytes(size, uint32_t(size % 1000 + 3));
        const QString uri = QString("/sizes/file-%1.bin").arg(size);
        m_nginx.addFile(uri.mid(1), QByteArray::fromStdString(content));
        const std::string out = target(QString("sizes-%1.bin").arg(size));
        fetch(m_nginx.httpUrl(uri), content, out);
        if (QTest::currentTestFailed()) return;

        const QList<AccessLogEntry> entries = entriesFor(uri, 0);
        QVERIFY(!entries.isEmpty());
        QSet<qint64> connections;
        bool reused = false;
        const int64_t maxRange = 8 * pieceSizeFor(size);
        for (const AccessLogEntry& entry : entries) {
            connections.insert(entry.connection);
            if (entry.connectionRequests > 1) reused = true;
            if (size == 0) continue;
            QCOMPARE(entry.status, 206);
            if (entry.range == "bytes=0-") continue;  // the probe
            const QStringList parts = entry.range.mid(6).split('-');
            QCOMPARE(parts.size(), 2);
            const qint64 length = parts[1].toLongLong() - parts[0].toLongLong() + 1;
            QVERIFY2(length > 0 && length <= maxRange, qPrintable(entry.range));
        }
        // 16 connections; the probe's connection is replaced once after its
        // first range (its answer was open-ended), so at most 17 in all.
        QVERIFY2(connections.size() <= 17, qPrintable(QString::number(connections.size())));
        // More ranges than connections: kept-alive connections take further ranges.
        if (size / maxRange > 32) QVERIFY(reused);
        std::remove(out.c_str());
    }

    void https() {
        const std::string content = randomBytes(3 * 1024 * 1024 + 11, 21);
        m_nginx.addFile("tls/file.bin", QByteArray::fromStdString(content));
        const std::string out = target("tls.bin");
        fetch(m_nginx.httpsUrl("/tls/file.bin"), content, out);
        std::remove(out.c_str());
    }

    // Without the CA the certificate is not trusted: the task fails.
    void httpsWithoutTheCaFails() {
        g_caFile.clear();
        m_nginx.addFile("tls/untrusted.bin", QByteArray(1000, 'u'));
        const std::string out = target("untrusted.bin");
        servicetest::RunResult run =
            servicetest::runDownload(m_nginx.httpsUrl("/tls/untrusted.bin").toStdString(), out, 120);
        QVERIFY(run.started);
        QCOMPARE(run.state, int(DownloadTaskFailed));
        QVERIFY(!fileExists(out));
        QVERIFY(!fileExists(out + ".tmp"));  // nothing is touched before the probe has answered
    }

    // A server that refuses ranges: one connection, no resume record.
    void serverWithoutRanges() {
        const std::string content = randomBytes(2 * 1024 * 1024, 31);
        m_nginx.addFile("noranges/file.bin", QByteArray::fromStdString(content));
        const std::string out = target("noranges.bin");
        fetch(m_nginx.httpUrl("/noranges/file.bin"), content, out);
        const QList<AccessLogEntry> entries = entriesFor("/noranges/file.bin", 0);
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries[0].status, 200);
        std::remove(out.c_str());
    }

    void throughSquid() {
        ZN_REQUIRE_BINARY("squid");
        testsupport::TestSquid squid;
        QString error;
        QVERIFY2(squid.start(&error), qPrintable(error));
        g_proxy.host = "127.0.0.1";
        g_proxy.port = squid.port();
        g_proxy.kind = dlhttp::proxy_http;
        const std::string content = randomBytes(1024 * 1024 + 5, 41);
        m_nginx.addFile("proxied/squid.bin", QByteArray::fromStdString(content));
        const std::string out = target("squid.bin");
        fetch(m_nginx.httpUrl("/proxied/squid.bin"), content, out);
        bool seen = false;
        for (const auto& entry : squid.accessLog(1)) seen = seen || entry.url.endsWith("/proxied/squid.bin");
        QVERIFY(seen);
        // And HTTPS through a CONNECT tunnel.
        m_nginx.addFile("proxied/tunnel.bin", QByteArray::fromStdString(content));
        const std::string tunnelled = target("tunnel.bin");
        fetch(m_nginx.httpsUrl("/proxied/tunnel.bin"), content, tunnelled);
        std::remove(out.c_str());
        std::remove(tunnelled.c_str());
    }

    void throughMicrosocks() {
        ZN_REQUIRE_BINARY("microsocks");
        testsupport::TestSocks socks;
        QString error;
        QVERIFY2(socks.start("user", "secret", &error), qPrintable(error));
        g_proxy.host = "127.0.0.1";
        g_proxy.port = socks.port();
        g_proxy.username = "user";
        g_proxy.password = "secret";
        g_proxy.kind = dlhttp::proxy_socks5;
        const std::string content = randomBytes(1024 * 1024 + 7, 51);
        m_nginx.addFile("proxied/socks.bin", QByteArray::fromStdString(content));
        const std::string out = target("socks.bin");
        fetch(m_nginx.httpUrl("/proxied/socks.bin"), content, out);
        std::remove(out.c_str());
    }

    // Rate limit 4096 bytes per tick over all connections: the download ends
    // complete and its smoothed rate never exceeds the limit.
    void rateLimit() {
        g_rateLimit = 4096;
        const std::string content = randomBytes(20000, 61);
        m_nginx.addFile("limited/file.bin", QByteArray::fromStdString(content));
        const std::string out = target("limited.bin");
        servicetest::RunResult run = fetch(m_nginx.httpUrl("/limited/file.bin"), content, out);
        QVERIFY2(run.maxRate <= 4096, qPrintable(QString::number(run.maxRate)));
        QVERIFY(run.maxRate > 0);
        std::remove(out.c_str());
    }

    // The same URL again after a finished run: the same task, started anew,
    // downloads the whole file again.
    void sameUrlAfterFinish() {
        const std::string content = randomBytes(300000, 71);
        m_nginx.addFile("again/file.bin", QByteArray::fromStdString(content));
        const std::string out = target("again.bin");
        servicetest::RunResult first = fetch(m_nginx.httpUrl("/again/file.bin"), content, out);
        std::remove(out.c_str());
        servicetest::RunResult second = fetch(m_nginx.httpUrl("/again/file.bin"), content, out);
        QCOMPARE(second.id, first.id);
        std::remove(out.c_str());
    }
};

QTEST_GUILESS_MAIN(TestServiceNet)
#include "tst_service_net.moc"
