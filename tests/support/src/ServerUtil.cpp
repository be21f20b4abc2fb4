#include "testsupport/ServerUtil.h"

#include "testsupport/GuardedProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

QString findBinary(const QString& name) {
    const QString onPath = QStandardPaths::findExecutable(name);
    if (!onPath.isEmpty()) return onPath;
    return QStandardPaths::findExecutable(
        name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"), QStringLiteral("/usr/local/sbin")});
}

bool haveBinary(const QString& name) { return !findBinary(name).isEmpty(); }

QString missingBinaryMessage(const QString& name) {
    return QStringLiteral("%1 is not installed (scripts/setup installs it)").arg(name);
}

bool runningInCi() { return qEnvironmentVariable("CI").compare(QLatin1String("true"), Qt::CaseInsensitive) == 0; }

QList<int> pickFreePorts(int count) {
    QList<int> ports;
    QList<int> sockets;
    for (int i = 0; i < count; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) break;
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        socklen_t len = sizeof addr;
        if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            close(fd);
            break;
        }
        sockets << fd;
        ports << ntohs(addr.sin_port);
    }
    for (int fd : sockets) close(fd);
    return ports;
}

int pickFreePort() {
    const QList<int> ports = pickFreePorts(1);
    return ports.isEmpty() ? 0 : ports.first();
}

namespace {

bool canConnect(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    int r;
    do {
        r = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    } while (r != 0 && errno == EINTR);
    close(fd);
    return r == 0;
}

}  // namespace

bool waitForPort(int port, int timeoutMs, GuardedProcess* process, QString* why) {
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (process && !process->isRunning()) {
            if (why)
                *why = QStringLiteral("the server ended before it accepted connections on port %1 (exit code %2)")
                           .arg(port)
                           .arg(process->exitCode());
            return false;
        }
        if (canConnect(port)) return true;
        if (deadline.hasExpired()) {
            if (why)
                *why = QStringLiteral("nothing accepted connections on 127.0.0.1:%1 within %2 ms")
                           .arg(port)
                           .arg(timeoutMs);
            return false;
        }
        QThread::msleep(20);
    }
}

QString tailOfFile(const QString& path, int maxBytes) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QString();
    const qint64 size = f.size();
    if (size > maxBytes) {
        f.seek(size - maxBytes);
        f.readLine();  // drop the partial first line
    }
    return QString::fromLocal8Bit(f.readAll());
}

bool logSaysAddressInUse(const QString& logText) {
    return logText.contains(QLatin1String("address already in use"), Qt::CaseInsensitive);
}

namespace {

bool runOpenssl(const QStringList& args, const QString& dir, QString* error) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(findBinary(QStringLiteral("openssl")), args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        if (error)
            *error = QStringLiteral("openssl %1 failed: %2")
                         .arg(args.join(QLatin1Char(' ')), QString::fromLocal8Bit(p.readAll()));
        return false;
    }
    return true;
}

}  // namespace

bool makeTestCertificates(const QString& dir, TestCertificates* out, QString* error) {
    if (!haveBinary(QStringLiteral("openssl"))) {
        if (error) *error = missingBinaryMessage(QStringLiteral("openssl"));
        return false;
    }
    QDir().mkpath(dir);
    const QString ext = dir + QStringLiteral("/server.ext");
    {
        QFile f(ext);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            if (error) *error = QStringLiteral("cannot write %1").arg(ext);
            return false;
        }
        f.write(
            "subjectAltName=DNS:localhost,IP:127.0.0.1\n"
            "basicConstraints=critical,CA:FALSE\n"
            "keyUsage=critical,digitalSignature,keyEncipherment\n"
            "extendedKeyUsage=serverAuth\n");
    }
    // EC keys: generated in milliseconds, understood by every client here.
    const QStringList ec{QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                         QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
    if (!runOpenssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ec +
                        QStringList{QStringLiteral("-keyout"), QStringLiteral("ca.key"), QStringLiteral("-out"),
                                    QStringLiteral("ca.crt"), QStringLiteral("-days"), QStringLiteral("30"),
                                    QStringLiteral("-subj"), QStringLiteral("/CN=Corvane Test CA"),
                                    QStringLiteral("-addext"), QStringLiteral("basicConstraints=critical,CA:TRUE"),
                                    QStringLiteral("-addext"), QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")},
                    dir, error))
        return false;
    if (!runOpenssl(
            QStringList{QStringLiteral("req")} + ec +
                QStringList{QStringLiteral("-keyout"), QStringLiteral("server.key"), QStringLiteral("-out"),
                            QStringLiteral("server.csr"), QStringLiteral("-subj"), QStringLiteral("/CN=localhost")},
            dir, error))
        return false;
    if (!runOpenssl(
            {QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), QStringLiteral("server.csr"),
             QStringLiteral("-CA"), QStringLiteral("ca.crt"), QStringLiteral("-CAkey"), QStringLiteral("ca.key"),
             QStringLiteral("-CAcreateserial"), QStringLiteral("-out"), QStringLiteral("server.crt"),
             QStringLiteral("-days"), QStringLiteral("30"), QStringLiteral("-extfile"), QStringLiteral("server.ext")},
            dir, error))
        return false;
    if (out) {
        out->caCert = dir + QStringLiteral("/ca.crt");
        out->caKey = dir + QStringLiteral("/ca.key");
        out->serverCert = dir + QStringLiteral("/server.crt");
        out->serverKey = dir + QStringLiteral("/server.key");
    }
    return true;
}

}  // namespace testsupport
