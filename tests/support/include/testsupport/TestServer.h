#pragma once
// What every test server shares: its temporary prefix, its guarded process and
// the start loop (pick ports, write the configuration, launch, wait until every
// port accepts connections, retry with new ports after a clash).
#include "testsupport/GuardedProcess.h"
#include "testsupport/TestPrefix.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace testsupport {

class TestServer {
public:
    virtual ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    // Stops the server (SIGTERM to its process group, SIGKILL after the grace
    // period) and waits until it has gone. Idempotent; the destructor calls it.
    void stop();
    bool isRunning();
    // The server's pid (its process group too), kept after stop() so a test can
    // check that the process has gone.
    qint64 pid() const { return m_process.pid(); }
    QString prefix() const { return m_prefix.path(); }
    // The file that receives the server's standard output and error.
    QString outputLogPath() const;

protected:
    explicit TestServer(const QString& tag);

    struct Launch {
        QString program;  // absolute path
        QStringList arguments;
        QStringList cleanupFiles;
        QStringList extraLogs;  // shown in the failure report
        int graceMs = 5000;
    };
    // Called for every attempt with fresh free ports (`portCount` of them); it
    // writes the configuration and returns how to start the server, or false
    // with a reason.
    using Prepare = std::function<bool(const QList<int>& ports, Launch* launch, QString* error)>;
    // Extra readiness condition checked after the ports accept (e.g. pid file).
    using Ready = std::function<bool()>;
    bool launch(const QString& name, int portCount, const Prepare& prepare, QString* error,
                const Ready& ready = Ready());

    TestPrefix m_prefix;
    GuardedProcess m_process;
    QList<int> m_ports;
};

}  // namespace testsupport
