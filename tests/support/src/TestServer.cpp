#include "testsupport/TestServer.h"

#include "testsupport/ServerUtil.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

namespace testsupport {

namespace {
constexpr int kAttempts = 3;
constexpr int kReadyTimeoutMs = 10000;
}  // namespace

TestServer::TestServer(const QString& tag) : m_prefix(tag) {}

TestServer::~TestServer() { stop(); }

void TestServer::stop() { m_process.stop(); }

bool TestServer::isRunning() { return m_process.isRunning(); }

QString TestServer::outputLogPath() const { return m_prefix.path() + QStringLiteral("/logs/output.log"); }

bool TestServer::launch(const QString& name, int portCount, const Prepare& prepare, QString* error,
                        const Ready& ready) {
    auto fail = [error](const QString& why) {
        if (error) *error = why;
        return false;
    };
    if (!m_prefix.isValid()) return fail(QStringLiteral("%1: cannot create a temporary folder").arg(name));
    m_process.stop();
    m_prefix.makeDir(QStringLiteral("logs"));

    QString lastReport;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        const QList<int> ports = pickFreePorts(portCount);
        if (ports.size() != portCount) return fail(QStringLiteral("%1: no free port on 127.0.0.1").arg(name));
        Launch l;
        QString why;
        if (!prepare(ports, &l, &why)) return fail(QStringLiteral("%1: %2").arg(name, why));
        QFile::remove(outputLogPath());
        for (const QString& log : l.extraLogs) QFile::remove(log);
        m_process.setProgram(l.program);
        m_process.setArguments(l.arguments);
        m_process.setWorkingDirectory(m_prefix.path());
        m_process.setLogFile(outputLogPath());
        m_process.setCleanupFiles(l.cleanupFiles);
        m_process.setAbandonedCleanupDir(m_prefix.path());
        m_process.setStopGraceMs(l.graceMs);
        if (!m_process.start(&why)) return fail(QStringLiteral("%1: %2").arg(name, why));

        QDeadlineTimer deadline(kReadyTimeoutMs);
        bool up = true;
        for (int port : ports) {
            if (!waitForPort(port, static_cast<int>(qMax<qint64>(1, deadline.remainingTime())), &m_process, &why)) {
                up = false;
                break;
            }
        }
        while (up && ready && !ready()) {
            if (!m_process.isRunning() || deadline.hasExpired()) {
                why = QStringLiteral("the server did not become ready");
                up = false;
                break;
            }
            QThread::msleep(20);
        }
        if (up && m_process.isRunning()) {
            m_ports = ports;
            return true;
        }
        if (up) why = QStringLiteral("the server ended right after it started");
        m_process.stop();

        QString logs = QStringLiteral("\n--- %1 ---\n%2").arg(outputLogPath(), tailOfFile(outputLogPath()));
        for (const QString& log : l.extraLogs) logs += QStringLiteral("\n--- %1 ---\n%2").arg(log, tailOfFile(log));
        lastReport = QStringLiteral("%1: %2 (attempt %3 of %4)%5").arg(name, why).arg(attempt).arg(kAttempts).arg(logs);
        if (!logSaysAddressInUse(logs)) break;  // not a port clash: another try would fail the same way
    }
    return fail(lastReport);
}

}  // namespace testsupport
