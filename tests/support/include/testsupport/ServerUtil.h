#pragma once
// Small helpers shared by the test servers: finding their programs, picking free
// ports on 127.0.0.1, waiting until a server accepts connections, reading logs
// and making a throw-away certificate authority.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace testsupport {

class GuardedProcess;

// The absolute path of a program, searched on PATH and in /usr/sbin, /sbin and
// /usr/local/sbin (nginx and squid live there); empty when missing.
QString findBinary(const QString& name);
bool haveBinary(const QString& name);
// "nginx is not installed (scripts/setup installs it)".
QString missingBinaryMessage(const QString& name);
// True when the test runs in CI (CI=true): there every server program must be
// installed, so a missing one fails the test instead of skipping it.
bool runningInCi();

// Skips the current Qt test when `name` is missing (fails it in CI).
#define ZN_REQUIRE_BINARY(name)                                                                             \
    do {                                                                                                    \
        if (!::testsupport::haveBinary(name)) {                                                             \
            if (::testsupport::runningInCi()) QFAIL(qPrintable(::testsupport::missingBinaryMessage(name))); \
            QSKIP(qPrintable(::testsupport::missingBinaryMessage(name)));                                   \
        }                                                                                                   \
    } while (false)

// `count` distinct ports that were free on 127.0.0.1 a moment ago (bound to port
// 0 together, read back, closed). A server may still lose one to a clash: the
// servers retry with new ports when their log says the address is in use.
QList<int> pickFreePorts(int count);
int pickFreePort();

// Waits until 127.0.0.1:port accepts a TCP connection, at most timeoutMs. Gives
// up early when `process` (optional) has ended. False with a reason otherwise.
bool waitForPort(int port, int timeoutMs, GuardedProcess* process, QString* why);

// The last `maxBytes` of a file (whole lines where possible); empty if missing.
QString tailOfFile(const QString& path, int maxBytes = 4000);
// True when a server log reports a port clash.
bool logSaysAddressInUse(const QString& logText);

// Makes a throw-away certificate authority and a server certificate signed by
// it for "localhost" and 127.0.0.1 (subjectAltName), with openssl, in `dir`:
// ca.crt, ca.key, server.crt, server.key. False with a reason on failure.
struct TestCertificates {
    QString caCert;
    QString caKey;
    QString serverCert;
    QString serverKey;
};
bool makeTestCertificates(const QString& dir, TestCertificates* out, QString* error);

}  // namespace testsupport
