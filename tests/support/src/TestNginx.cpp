#include "testsupport/TestNginx.h"

#include "testsupport/ServerUtil.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QSslCertificate>
#include <QThread>

#include <unistd.h>

namespace testsupport {

namespace {

// Tab-separated; nginx escapes tabs, quotes and control characters inside values
// as \xHH, so a tab always separates fields.
const char kLogFormat[] =
    "$connection\\t$connection_requests\\t$request\\t$status\\t$body_bytes_sent\\t"
    "$http_range\\t$scheme\\t$server_port\\t$ssl_session_reused";

QString unescapeNginx(const QByteArray& field) {
    QByteArray out;
    out.reserve(field.size());
    for (int i = 0; i < field.size(); ++i) {
        if (field.at(i) == '\\' && i + 3 < field.size() && field.at(i + 1) == 'x') {
            bool ok = false;
            const int value = field.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                out.append(static_cast<char>(value));
                i += 3;
                continue;
            }
        }
        out.append(field.at(i));
    }
    return QString::fromUtf8(out);
}

}  // namespace

TestNginx::TestNginx() : TestServer(QStringLiteral("nginx")) { m_prefix.makeDir(QStringLiteral("www")); }

void TestNginx::addRedirect(const QString& from, const QString& to, int code) { m_redirects.append({from, to, code}); }

void TestNginx::addThrottle(const QString& location, qint64 bytesPerSecond, qint64 afterBytes) {
    m_throttles.append({location, bytesPerSecond, afterBytes});
}

void TestNginx::addConfig(const QString& snippet, Context where) {
    (where == Context::Server ? m_serverSnippets : m_httpSnippets).append(snippet);
}

int TestNginx::httpPort() const { return m_ports.size() >= 2 ? m_ports.at(0) : 0; }

int TestNginx::httpsPort() const { return m_ports.size() >= 2 ? m_ports.at(1) : 0; }

int TestNginx::addPort() { return m_extraPorts++; }

int TestNginx::extraPort(int index) const {
    return index >= 0 && 2 + index < m_ports.size() ? m_ports.at(2 + index) : 0;
}

QString TestNginx::httpUrl(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(httpPort()).arg(path);
}

QString TestNginx::httpsUrl(const QString& path) const {
    return QStringLiteral("https://127.0.0.1:%1%2").arg(httpsPort()).arg(path);
}

QString TestNginx::docRoot() const { return m_prefix.path() + QStringLiteral("/www"); }

QString TestNginx::addFile(const QString& relativePath, const QByteArray& content) {
    return m_prefix.writeFile(QStringLiteral("www/") + relativePath, content);
}

QString TestNginx::caCertPath() const { return m_caCert; }

QSslConfiguration TestNginx::sslConfiguration() const {
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    QList<QSslCertificate> cas = config.caCertificates();
    cas += QSslCertificate::fromPath(m_caCert, QSsl::Pem);
    config.setCaCertificates(cas);
    return config;
}

QString TestNginx::configPath() const { return m_prefix.path() + QStringLiteral("/conf/nginx.conf"); }

QString TestNginx::errorLogPath() const { return m_prefix.path() + QStringLiteral("/logs/error.log"); }

QString TestNginx::accessLogPath() const { return m_prefix.path() + QStringLiteral("/logs/access.log"); }

QString TestNginx::substitute(QString text, const QList<int>& ports) const {
    text.replace(QLatin1String("@HTTPS@"), QStringLiteral("https://127.0.0.1:%1").arg(ports.at(1)));
    text.replace(QLatin1String("@HTTP@"), QStringLiteral("http://127.0.0.1:%1").arg(ports.at(0)));
    // Extra ports are picked with the server's own at every attempt, so a port
    // that another program took meanwhile makes the start try other ports.
    for (int i = 2; i < ports.size(); ++i)
        text.replace(QStringLiteral("@PORT%1@").arg(i - 2), QString::number(ports.at(i)));
    text.replace(QLatin1String("@ROOT@"), docRoot());
    text.replace(QLatin1String("@PREFIX@"), m_prefix.path());
    return text;
}

QString TestNginx::configText(const QList<int>& ports) const {
    const QString p = m_prefix.path();
    QString c;
    // Workers of a root master run as "nobody" by default and could not read a
    // folder below /root; as root they stay root.
    if (geteuid() == 0) c += QStringLiteral("user root;\n");
    c += QStringLiteral(
             "worker_processes 1;\n"
             "pid %1/logs/nginx.pid;\n"
             "error_log %1/logs/error.log info;\n"
             "events { worker_connections 256; }\n"
             "http {\n")
             .arg(p);
    if (QFileInfo::exists(QStringLiteral("/etc/nginx/mime.types")))
        c += QStringLiteral("  include /etc/nginx/mime.types;\n");
    c += QStringLiteral(
             "  default_type application/octet-stream;\n"
             "  log_format zn_test '%1';\n"
             "  access_log %2/logs/access.log zn_test;\n"
             "  client_body_temp_path %2/temp/client_body;\n"
             "  proxy_temp_path %2/temp/proxy;\n"
             "  fastcgi_temp_path %2/temp/fastcgi;\n"
             "  uwsgi_temp_path %2/temp/uwsgi;\n"
             "  scgi_temp_path %2/temp/scgi;\n"
             "  keepalive_timeout 30;\n")
             .arg(QString::fromLatin1(kLogFormat), p);
    for (const QString& s : m_httpSnippets) c += QStringLiteral("  ") + substitute(s, ports) + QLatin1Char('\n');
    c += QStringLiteral(
             "  server {\n"
             "    listen 127.0.0.1:%1;\n"
             "    listen 127.0.0.1:%2 ssl;\n"
             "    server_name localhost 127.0.0.1;\n"
             "    ssl_certificate %3;\n"
             "    ssl_certificate_key %4;\n"
             "    root %5;\n")
             .arg(ports.at(0))
             .arg(ports.at(1))
             .arg(m_serverCert, m_serverKey, docRoot());
    for (const Redirect& r : m_redirects)
        c += QStringLiteral("    location = %1 { return %2 %3; }\n")
                 .arg(r.from)
                 .arg(r.code)
                 .arg(substitute(r.to, ports));
    for (const Throttle& t : m_throttles)
        c += QStringLiteral("    location ^~ %1 { limit_rate %2; limit_rate_after %3; }\n")
                 .arg(t.location)
                 .arg(t.rate)
                 .arg(t.after);
    for (const QString& s : m_serverSnippets) c += QStringLiteral("    ") + substitute(s, ports) + QLatin1Char('\n');
    c += QStringLiteral("  }\n}\n");
    return c;
}

bool TestNginx::start(QString* error) {
    const QString nginx = findBinary(QStringLiteral("nginx"));
    if (nginx.isEmpty()) {
        if (error) *error = missingBinaryMessage(QStringLiteral("nginx"));
        return false;
    }
    if (m_caCert.isEmpty()) {
        TestCertificates certs;
        if (!makeTestCertificates(m_prefix.path() + QStringLiteral("/tls"), &certs, error)) return false;
        m_caCert = certs.caCert;
        m_serverCert = certs.serverCert;
        m_serverKey = certs.serverKey;
    }
    for (const char* dir : {"conf", "logs", "temp"}) m_prefix.makeDir(QString::fromLatin1(dir));
    const QString pidFile = m_prefix.path() + QStringLiteral("/logs/nginx.pid");

    auto prepare = [&](const QList<int>& ports, Launch* l, QString* why) {
        QFile::remove(pidFile);
        QFile conf(configPath());
        if (!conf.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            *why = QStringLiteral("cannot write %1").arg(configPath());
            return false;
        }
        conf.write(configText(ports).toUtf8());
        conf.close();
        l->program = nginx;
        l->arguments = QStringList{QStringLiteral("-p"), m_prefix.path() + QLatin1Char('/'),
                                   QStringLiteral("-e"), errorLogPath(),
                                   QStringLiteral("-c"), configPath(),
                                   QStringLiteral("-g"), QStringLiteral("daemon off; master_process on;")};
        l->extraLogs = QStringList{errorLogPath()};
        return true;
    };
    // nginx writes its pid file after it has bound every port.
    auto ready = [pidFile]() { return QFileInfo(pidFile).size() > 0; };
    return launch(QStringLiteral("nginx"), 2 + m_extraPorts, prepare, error, ready);
}

QList<AccessLogEntry> TestNginx::parseAccessLog(const QByteArray& text) {
    QList<AccessLogEntry> entries;
    for (const QByteArray& line : text.split('\n')) {
        if (line.trimmed().isEmpty()) continue;
        const QList<QByteArray> f = line.split('\t');
        if (f.size() < 8) continue;
        AccessLogEntry e;
        e.connection = f.at(0).toLongLong();
        e.connectionRequests = f.at(1).toInt();
        e.request = unescapeNginx(f.at(2));
        const int first = e.request.indexOf(QLatin1Char(' '));
        const int last = e.request.lastIndexOf(QLatin1Char(' '));
        if (first > 0 && last > first) {
            e.method = e.request.left(first);
            e.uri = e.request.mid(first + 1, last - first - 1);
            e.protocol = e.request.mid(last + 1);
        }
        e.status = f.at(3).toInt();
        e.bodyBytesSent = f.at(4).toLongLong();
        e.range = f.at(5) == "-" ? QString() : unescapeNginx(f.at(5));
        e.scheme = QString::fromLatin1(f.at(6));
        e.serverPort = f.at(7).trimmed().toInt();
        e.tlsSessionReused = f.size() > 8 && f.at(8).trimmed() == "r";
        entries.append(e);
    }
    return entries;
}

QList<AccessLogEntry> TestNginx::accessLog(int atLeast, int timeoutMs) const {
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        QFile f(accessLogPath());
        QList<AccessLogEntry> entries;
        if (f.open(QIODevice::ReadOnly)) entries = parseAccessLog(f.readAll());
        if (entries.size() >= atLeast || deadline.hasExpired()) return entries;
        QThread::msleep(20);
    }
}

}  // namespace testsupport
