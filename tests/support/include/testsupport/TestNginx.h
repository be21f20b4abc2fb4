#pragma once
// A real nginx on 127.0.0.1 for tests: plain HTTP and HTTPS on two ephemeral
// ports, serving docRoot() (ranges work: nginx answers "Range" with 206), with
// redirects, per-request throttling and extra configuration added by the test,
// and an access log that records the connection number and the Range header.
//
//   TestNginx nginx;
//   nginx.addFile("data/file.bin", bytes);
//   nginx.addRedirect("/old", "/data/file.bin", 301);
//   nginx.addThrottle("/slow/", 50 * 1024);
//   QVERIFY2(nginx.start(&error), qPrintable(error));
//   get(nginx.httpsUrl("/old"));          // trust nginx.caCertPath()
//   nginx.accessLog(1);                   // waits until one request is logged
//
// Configure before start(); a later change takes effect at the next start().
// The HTTPS certificate is issued for "localhost" and 127.0.0.1 by a
// certificate authority made for this instance (caCertPath()).
#include "testsupport/TestServer.h"

#include <QByteArray>
#include <QList>
#include <QSslConfiguration>
#include <QString>

namespace testsupport {

// One line of nginx's access log.
struct AccessLogEntry {
    qint64 connection = 0;       // $connection: the same number for requests on one connection
    int connectionRequests = 0;  // $connection_requests: 1 for the first request on it
    QString request;             // $request, e.g. "GET /a.bin HTTP/1.1"
    QString method;              // parts of $request
    QString uri;
    QString protocol;
    int status = 0;            // $status
    qint64 bodyBytesSent = 0;  // $body_bytes_sent
    QString range;             // $http_range; empty when the request had none
    QString scheme;            // "http" or "https"
    int serverPort = 0;
    bool tlsSessionReused = false;  // $ssl_session_reused: the TLS handshake resumed a session
};

class TestNginx : public TestServer {
public:
    TestNginx();

    // Where a snippet goes: inside the server block (both ports) or the http block.
    enum class Context { Server, Http };

    // "location = from { return code to; }". `to` is a path on the same server
    // and scheme ("/b"), or a full URL; "@HTTP@" and "@HTTPS@" in it stand for
    // "http://127.0.0.1:<port>" and "https://127.0.0.1:<port>" (the ports are
    // picked at start). A chain: several redirects; a loop: "/a" -> "/a".
    void addRedirect(const QString& from, const QString& to, int code = 302);
    // "location ^~ location { limit_rate bytesPerSecond; }": every response
    // below that prefix is sent at this rate per request, optionally after the
    // first `afterBytes` at full speed.
    void addThrottle(const QString& location, qint64 bytesPerSecond, qint64 afterBytes = 0);
    // Raw nginx configuration; "@HTTP@", "@HTTPS@", "@ROOT@" (docRoot()) and
    // "@PREFIX@" are replaced, and "@PORTn@" by the n-th extra port.
    void addConfig(const QString& snippet, Context where = Context::Server);
    // One more port for the configuration's own server blocks ("@PORTn@",
    // n = the returned index); it is picked anew at every start attempt, like
    // the server's own ports, so no test relies on a freed port staying free.
    int addPort();

    bool start(QString* error = nullptr);

    int httpPort() const;
    int httpsPort() const;
    // The extra port of addPort()'s index (valid after start()).
    int extraPort(int index) const;
    // path must start with "/".
    QString httpUrl(const QString& path = QStringLiteral("/")) const;
    QString httpsUrl(const QString& path = QStringLiteral("/")) const;

    QString docRoot() const;
    // Writes a file below docRoot() (folders created); returns its path.
    QString addFile(const QString& relativePath, const QByteArray& content);

    // PEM file of the certificate authority that issued the HTTPS certificate
    // (valid after start()).
    QString caCertPath() const;
    // The default SSL configuration plus that authority as trusted.
    QSslConfiguration sslConfiguration() const;

    QString configPath() const;
    QString errorLogPath() const;
    QString accessLogPath() const;
    // The access log so far. With atLeast > 0 waits (up to timeoutMs) until it
    // has that many entries: nginx writes a line when a request is finished,
    // which can be a moment after the client has read the response.
    QList<AccessLogEntry> accessLog(int atLeast = 0, int timeoutMs = 5000) const;
    static QList<AccessLogEntry> parseAccessLog(const QByteArray& text);

private:
    int m_extraPorts = 0;
    QString substitute(QString text, const QList<int>& ports) const;
    QString configText(const QList<int>& ports) const;

    struct Redirect {
        QString from;
        QString to;
        int code;
    };
    struct Throttle {
        QString location;
        qint64 rate;
        qint64 after;
    };
    QList<Redirect> m_redirects;
    QList<Throttle> m_throttles;
    QStringList m_serverSnippets;
    QStringList m_httpSnippets;
    QString m_caCert;
    QString m_serverCert;
    QString m_serverKey;
};

}  // namespace testsupport
