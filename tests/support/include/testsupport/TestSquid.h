#pragma once
// A real squid HTTP proxy on 127.0.0.1 for tests: plain requests and CONNECT
// tunnels to any port, only to loopback addresses (anything else is denied),
// no cache, no DNS (names other than those in /etc/hosts fail). With a user name
// it requires Basic proxy authentication (407 without it).
//
//   TestSquid squid;
//   QVERIFY2(squid.start(&error), qPrintable(error));
//   proxy = QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", squid.port());
//   squid.accessLog(1);
//
// Run as root, squid refuses to stay root and switches to the user "proxy": the
// prefix is handed to that user.
#include "testsupport/TestServer.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace testsupport {

// One line of squid's access log.
struct ProxyLogEntry {
    QString method;       // "GET", "CONNECT", ...
    QString url;          // absolute URL, or "host:port" for CONNECT
    int status = 0;       // HTTP status sent to the client (200 for a tunnel)
    QString squidStatus;  // e.g. "TCP_MISS", "TCP_TUNNEL", "TCP_DENIED"
    qint64 bytes = 0;     // bytes sent to the client
    QString user;         // authenticated user name; empty without one
};

class TestSquid : public TestServer {
public:
    TestSquid();

    // Raw squid configuration added before the access rules.
    void addConfig(const QString& snippet);

    // Empty user: no authentication. Otherwise Basic authentication with this
    // user name and password (squid's basic_ncsa_auth helper).
    bool start(QString* error = nullptr);
    bool start(const QString& user, const QString& password, QString* error = nullptr);

    int port() const;
    // "http://127.0.0.1:<port>"
    QString proxyUrl() const;

    QString configPath() const;
    QString cacheLogPath() const;
    QString accessLogPath() const;
    // The access log so far; with atLeast > 0 waits (up to timeoutMs) until it has
    // that many entries (squid logs a request when it is finished).
    QList<ProxyLogEntry> accessLog(int atLeast = 0, int timeoutMs = 5000) const;
    static QList<ProxyLogEntry> parseAccessLog(const QByteArray& text);

private:
    QStringList m_snippets;
};

}  // namespace testsupport
