#pragma once
// A child process (a test server) that cannot outlive the test that started it.
//
// start() forks a small guard process. The guard starts a session of its own,
// forks the server into a process group of its own (pgid = server pid) and then
// watches two things:
//   - a socket pair to the test process ("lifeline"). The test process holds
//     the only other end (close-on-exec, and every later guard closes all
//     inherited descriptors), so it reaches end-of-file when the test calls stop(),
//     destroys the object, or dies in any way at all (crash, abort, SIGKILL,
//     ctest time-out). The guard then sends SIGTERM to the server's process
//     group, waits up to the grace period, sends SIGKILL to the group, reaps the
//     server, removes the clean-up files and exits.
//     stop() writes one byte before closing, so the guard can tell an orderly
//     stop from a dead test process; only for the latter it also removes the
//     abandoned-cleanup folder (see setAbandonedCleanupDir).
//   - the server itself: when it exits on its own the guard kills whatever is
//     left in its process group, removes the clean-up files and exits with the
//     server's status (a signal N is reported as 128 + N).
// The server also gets PR_SET_PDEATHSIG(SIGKILL), so even a guard killed with
// SIGKILL takes the server along.
//
// Everything the guard does after fork() is async-signal-safe; all memory it
// needs is prepared before the fork, so a multi-threaded Qt test may use it.
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace testsupport {

class GuardedProcess {
public:
    GuardedProcess();
    ~GuardedProcess();  // stop()
    GuardedProcess(const GuardedProcess&) = delete;
    GuardedProcess& operator=(const GuardedProcess&) = delete;

    // Absolute path of the program, and its arguments (without argv[0]).
    void setProgram(const QString& program);
    void setArguments(const QStringList& arguments);
    // Working directory of the server (default: the current one).
    void setWorkingDirectory(const QString& dir);
    // The server's standard output and error are appended to this file
    // (default: discarded). Standard input is /dev/null.
    void setLogFile(const QString& path);
    // "NAME=value" entries; default: the test process's environment.
    void setEnvironment(const QStringList& environment);
    // Files removed once the server has gone (e.g. shared-memory segments that a
    // killed server leaves behind).
    void setCleanupFiles(const QStringList& paths);
    // A folder the guard removes (rm -rf) after the server when the test process
    // has died without stopping it: a crashed test leaves no prefix behind.
    // stop() and the destructor leave it alone.
    void setAbandonedCleanupDir(const QString& dir);
    // Time between SIGTERM and SIGKILL when stopping (default 5000 ms).
    void setStopGraceMs(int ms);

    // Starts guard and server. False with a reason when the program cannot be
    // run (e.g. missing or not executable). Does not wait for readiness.
    bool start(QString* error = nullptr);
    // True while the server runs.
    bool isRunning();
    // Stops the server (see above) and waits for it and the guard. Idempotent.
    void stop();

    // The server's pid (also its process group) and the guard's pid; 0 before
    // start(). Kept after stop() so that a test can check the process is gone.
    qint64 pid() const { return m_serverPid; }
    qint64 guardPid() const { return m_guardPid; }
    // After the server has ended: its exit code (128 + N for signal N), else -1.
    int exitCode();

private:
    void reapGuard(bool block);

    QString m_program;
    QStringList m_arguments;
    QString m_workingDirectory;
    QString m_logFile;
    QStringList m_environment;
    bool m_customEnvironment = false;
    QStringList m_cleanupFiles;
    QString m_abandonedDir;
    int m_graceMs = 5000;

    int m_lifelineFd = -1;
    qint64 m_guardPid = 0;
    qint64 m_serverPid = 0;
    bool m_guardReaped = true;
    int m_exitCode = -1;
};

// True when a process with this pid exists (zombies count as gone).
bool processExists(qint64 pid);
// True when any process of this process group exists (zombies do not count).
bool processGroupExists(qint64 pgid);
// The pids of the living processes of this process group.
QList<qint64> processGroupMembers(qint64 pgid);

}  // namespace testsupport
