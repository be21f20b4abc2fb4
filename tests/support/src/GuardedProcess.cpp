#include "testsupport/GuardedProcess.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

namespace {

// Descriptors inside the guard.
constexpr int kLifelineFd = 3;
constexpr int kReportFd = 4;

// What the guard tells the test process once the server is forked.
struct Report {
    pid_t server;
    int execErrno;  // 0: exec succeeded
};

// A list of C strings that outlives the fork.
class CStringList {
public:
    explicit CStringList(const QList<QByteArray>& items) : m_storage(items) {
        for (QByteArray& s : m_storage) m_pointers.push_back(s.data());
        m_pointers.push_back(nullptr);
    }
    char* const* get() { return m_pointers.data(); }
    size_t size() const { return m_storage.size(); }

private:
    QList<QByteArray> m_storage;
    std::vector<char*> m_pointers;
};

void sleepMs(int ms) {
    timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) == -1 && errno == EINTR) {
    }
}

volatile sig_atomic_t g_guardStopRequested = 0;

void guardSignalHandler(int) { g_guardStopRequested = 1; }

bool writeAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

ssize_t readFull(int fd, void* data, size_t size) {
    char* p = static_cast<char*>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t n = read(fd, p + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

void resetAllSignals() {
    struct sigaction dfl;
    std::memset(&dfl, 0, sizeof dfl);
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    for (int sig = 1; sig < NSIG; ++sig) {
        if (sig != SIGKILL && sig != SIGSTOP) sigaction(sig, &dfl, nullptr);  // fails harmlessly for reserved numbers
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

void closeFrom(int first) {
    if (close_range(static_cast<unsigned>(first), ~0U, 0) == 0) return;
    for (int fd = first; fd < 65536; ++fd) close(fd);
}

// True once the server has exited (not yet reaped).
bool serverExited(pid_t server, bool block) {
    for (;;) {
        siginfo_t info;
        std::memset(&info, 0, sizeof info);
        int flags = WEXITED | WNOWAIT | (block ? 0 : WNOHANG);
        if (waitid(P_PID, static_cast<id_t>(server), &info, flags) == 0) return info.si_pid == server;
        if (errno == EINTR) continue;
        return true;  // ECHILD: nothing left to wait for
    }
}

// The guard: runs in the forked child, never returns. Async-signal-safe only.
[[noreturn]] void guardMain(const char* program, char* const* argv, char* const* envp, const char* workingDir,
                            char* const* cleanup, int graceMs, char* const* removeArgv) {
    // Server forked; exec status comes back through a close-on-exec pipe.
    int execPipe[2];
    if (pipe2(execPipe, O_CLOEXEC) != 0) {
        Report r{0, errno};
        writeAll(kReportFd, &r, sizeof r);
        _exit(127);
    }
    pid_t server = fork();
    if (server < 0) {
        Report r{0, errno};
        writeAll(kReportFd, &r, sizeof r);
        _exit(127);
    }
    if (server == 0) {
        const pid_t guard = getppid();
        setpgid(0, 0);
        close(kLifelineFd);
        close(kReportFd);
        close(execPipe[0]);
        // Ignored signals stay ignored across exec: give the server the default.
        struct sigaction dfl;
        std::memset(&dfl, 0, sizeof dfl);
        dfl.sa_handler = SIG_DFL;
        sigemptyset(&dfl.sa_mask);
        sigaction(SIGPIPE, &dfl, nullptr);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != guard) _exit(127);  // the guard is already gone
        if (workingDir && *workingDir && chdir(workingDir) != 0) {
            int e = errno;
            writeAll(execPipe[1], &e, sizeof e);
            _exit(127);
        }
        execve(program, argv, envp);
        int e = errno;
        writeAll(execPipe[1], &e, sizeof e);
        _exit(127);
    }
    setpgid(server, server);  // also here: no window in which it is in our group
    close(execPipe[1]);
    int execErrno = 0;
    if (readFull(execPipe[0], &execErrno, sizeof execErrno) != static_cast<ssize_t>(sizeof execErrno)) execErrno = 0;
    close(execPipe[0]);
    Report report{server, execErrno};
    writeAll(kReportFd, &report, sizeof report);
    close(kReportFd);

    bool stopping = false;
    bool orderly = false;  // the test process asked for the stop
    if (execErrno == 0) {
        for (;;) {
            if (serverExited(server, false)) break;
            if (g_guardStopRequested) {
                stopping = true;
                break;
            }
            pollfd p{kLifelineFd, POLLIN, 0};
            int r = poll(&p, 1, 100);
            if (r > 0) {
                char c;
                ssize_t n = read(kLifelineFd, &c, 1);
                if (n > 0) {
                    orderly = true;  // stop(): end-of-file follows
                } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                    stopping = true;  // the test process stopped us or has gone
                    break;
                }
            }
        }
    }

    if (stopping) {
        kill(-server, SIGTERM);
        kill(server, SIGCONT);  // a stopped server could not act on SIGTERM
        int waited = 0;
        while (!serverExited(server, false) && waited < graceMs) {
            sleepMs(20);
            waited += 20;
        }
        if (!serverExited(server, false)) kill(-server, SIGKILL);
    }
    serverExited(server, true);
    // The server has ended but is not reaped yet, so its pid still names its
    // process group: anything left in that group goes now.
    kill(-server, SIGKILL);
    int status = 0;
    while (waitpid(server, &status, 0) < 0 && errno == EINTR) {
    }
    for (char* const* f = cleanup; *f; ++f) unlink(*f);
    if (stopping && !orderly && !g_guardStopRequested && removeArgv[0]) {
        // Nobody is left to look at the result: remove the folder and go.
        execve(removeArgv[0], removeArgv, envp);
    }
    if (execErrno != 0) _exit(127);
    if (WIFEXITED(status)) _exit(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) _exit(128 + WTERMSIG(status));
    _exit(255);
}

}  // namespace

GuardedProcess::GuardedProcess() = default;

GuardedProcess::~GuardedProcess() { stop(); }

void GuardedProcess::setProgram(const QString& program) { m_program = program; }
void GuardedProcess::setArguments(const QStringList& arguments) { m_arguments = arguments; }
void GuardedProcess::setWorkingDirectory(const QString& dir) { m_workingDirectory = dir; }
void GuardedProcess::setLogFile(const QString& path) { m_logFile = path; }
void GuardedProcess::setEnvironment(const QStringList& environment) {
    m_environment = environment;
    m_customEnvironment = true;
}
void GuardedProcess::setCleanupFiles(const QStringList& paths) { m_cleanupFiles = paths; }
void GuardedProcess::setAbandonedCleanupDir(const QString& dir) { m_abandonedDir = dir; }
void GuardedProcess::setStopGraceMs(int ms) { m_graceMs = ms < 0 ? 0 : ms; }

bool GuardedProcess::start(QString* error) {
    auto fail = [error](const QString& why) {
        if (error) *error = why;
        return false;
    };
    if (m_guardPid != 0 && !m_guardReaped) {
        if (isRunning()) return fail(QStringLiteral("%1 is already running").arg(m_program));
        stop();  // reaps the ended run
    }
    m_guardPid = 0;
    m_serverPid = 0;
    m_exitCode = -1;

    // Everything the guard needs, prepared before the fork.
    QList<QByteArray> argv{QFile::encodeName(m_program)};
    for (const QString& a : m_arguments) argv << a.toLocal8Bit();
    CStringList cArgv(argv);
    QList<QByteArray> env;
    const QStringList envList =
        m_customEnvironment ? m_environment : QProcessEnvironment::systemEnvironment().toStringList();
    for (const QString& e : envList) env << e.toLocal8Bit();
    CStringList cEnv(env);
    QList<QByteArray> cleanup;
    for (const QString& f : m_cleanupFiles) cleanup << QFile::encodeName(f);
    CStringList cCleanup(cleanup);
    QList<QByteArray> remove;
    if (!m_abandonedDir.isEmpty())
        remove << QByteArray("/bin/rm") << QByteArray("-rf") << QByteArray("--") << QFile::encodeName(m_abandonedDir);
    CStringList cRemove(remove);
    const QByteArray program = QFile::encodeName(m_program);
    const QByteArray workingDir = QFile::encodeName(m_workingDirectory);

    int logFd = open(m_logFile.isEmpty() ? "/dev/null" : QFile::encodeName(m_logFile).constData(),
                     O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (logFd < 0)
        return fail(QStringLiteral("cannot open %1: %2").arg(m_logFile, QString::fromLocal8Bit(strerror(errno))));
    int nullFd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    int lifeline[2] = {-1, -1};
    int report[2] = {-1, -1};
    // The lifeline is a socket pair rather than a pipe so that stop() can write
    // its byte with MSG_NOSIGNAL: a guard that has already gone must not raise
    // SIGPIPE in the test process.
    if (nullFd < 0 || socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, lifeline) != 0 ||
        pipe2(report, O_CLOEXEC) != 0) {
        const QString why = QString::fromLocal8Bit(strerror(errno));
        for (int fd : {logFd, nullFd, lifeline[0], lifeline[1], report[0], report[1]})
            if (fd >= 0) close(fd);
        return fail(QStringLiteral("cannot prepare the guard: %1").arg(why));
    }

    const pid_t guard = fork();
    if (guard == 0) {
        setsid();
        resetAllSignals();
        // A vanished test process must not kill the guard through a write.
        struct sigaction ign;
        std::memset(&ign, 0, sizeof ign);
        ign.sa_handler = SIG_IGN;
        sigemptyset(&ign.sa_mask);
        sigaction(SIGPIPE, &ign, nullptr);
        struct sigaction stopSa;
        std::memset(&stopSa, 0, sizeof stopSa);
        stopSa.sa_handler = guardSignalHandler;
        sigemptyset(&stopSa.sa_mask);
        for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) sigaction(sig, &stopSa, nullptr);
        g_guardStopRequested = 0;
        // Park every descriptor above the fixed slots first (with standard
        // descriptors closed they may sit on 0-4), then lay out 0-4: no dup2
        // below can clobber a descriptor that is still to be copied. dup2 clears
        // close-on-exec, so 0-2 reach the server; 3 and 4 are closed there.
        const int nullHigh = fcntl(nullFd, F_DUPFD, 10);
        const int logHigh = fcntl(logFd, F_DUPFD, 10);
        const int lifeHigh = fcntl(lifeline[0], F_DUPFD, 10);
        const int reportHigh = fcntl(report[1], F_DUPFD, 10);
        if (nullHigh < 0 || logHigh < 0 || lifeHigh < 0 || reportHigh < 0) _exit(127);
        dup2(nullHigh, 0);
        dup2(logHigh, 1);
        dup2(logHigh, 2);
        dup2(lifeHigh, kLifelineFd);
        dup2(reportHigh, kReportFd);
        closeFrom(kReportFd + 1);
        guardMain(program.constData(), cArgv.get(), cEnv.get(), workingDir.constData(), cCleanup.get(), m_graceMs,
                  cRemove.get());
    }
    const int forkErrno = errno;
    close(lifeline[0]);
    close(report[1]);
    close(logFd);
    close(nullFd);
    if (guard < 0) {
        close(lifeline[1]);
        close(report[0]);
        return fail(QStringLiteral("fork failed: %1").arg(QString::fromLocal8Bit(strerror(forkErrno))));
    }
    m_guardPid = guard;
    m_guardReaped = false;
    m_lifelineFd = lifeline[1];

    Report r{0, 0};
    const ssize_t got = readFull(report[0], &r, sizeof r);
    close(report[0]);
    if (got != static_cast<ssize_t>(sizeof r) || r.server <= 0) {
        const int e = got == static_cast<ssize_t>(sizeof r) ? r.execErrno : 0;
        stop();
        return fail(QStringLiteral("cannot start %1: %2")
                        .arg(m_program, e ? QString::fromLocal8Bit(strerror(e)) : QStringLiteral("the guard failed")));
    }
    m_serverPid = r.server;
    if (r.execErrno != 0) {
        stop();
        return fail(QStringLiteral("cannot run %1: %2").arg(m_program, QString::fromLocal8Bit(strerror(r.execErrno))));
    }
    return true;
}

bool GuardedProcess::isRunning() {
    if (m_guardPid == 0 || m_guardReaped) return false;
    siginfo_t info;
    std::memset(&info, 0, sizeof info);
    if (waitid(P_PID, static_cast<id_t>(m_guardPid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) return false;
    return info.si_pid != m_guardPid;  // si_pid is 0 while the guard still runs
}

void GuardedProcess::reapGuard(bool block) {
    if (m_guardReaped || m_guardPid == 0) return;
    int status = 0;
    pid_t r;
    do {
        r = waitpid(static_cast<pid_t>(m_guardPid), &status, block ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == m_guardPid) {
        m_guardReaped = true;
        if (WIFEXITED(status))
            m_exitCode = WEXITSTATUS(status);
        else if (WIFSIGNALED(status))
            m_exitCode = 128 + WTERMSIG(status);
    } else if (r < 0) {
        m_guardReaped = true;  // not our child any more (someone else reaped it)
    }
}

void GuardedProcess::stop() {
    if (m_lifelineFd >= 0) {
        // One byte marks the stop as ours, then end-of-file: the guard stops the server.
        const char stopByte = 'q';
        if (send(m_lifelineFd, &stopByte, 1, MSG_NOSIGNAL) != 1) {
            // The guard has gone already; nothing to mark.
        }
        close(m_lifelineFd);
        m_lifelineFd = -1;
    }
    if (m_guardPid == 0 || m_guardReaped) return;
    // The guard needs at most the grace period plus a moment; after that both
    // go by force.
    const int limitMs = m_graceMs + 3000;
    int waited = 0;
    while (isRunning() && waited < limitMs) {
        sleepMs(10);
        waited += 10;
    }
    if (isRunning()) {
        if (m_serverPid > 0) kill(-static_cast<pid_t>(m_serverPid), SIGKILL);
        kill(static_cast<pid_t>(m_guardPid), SIGKILL);
    }
    if (m_serverPid > 0 && processGroupExists(m_serverPid))  // stragglers
        kill(-static_cast<pid_t>(m_serverPid), SIGKILL);
    for (const QString& f : m_cleanupFiles) QFile::remove(f);
    reapGuard(true);
    // The guard reaps the server; when the guard was killed the server is
    // re-parented and reaped by init. Wait briefly until it is really gone.
    waited = 0;
    while (m_serverPid > 0 && processExists(m_serverPid) && waited < 3000) {
        sleepMs(10);
        waited += 10;
    }
}

int GuardedProcess::exitCode() {
    if (!m_guardReaped && !isRunning()) reapGuard(true);
    return m_guardReaped ? m_exitCode : -1;
}

bool processExists(qint64 pid) {
    if (pid <= 0) return false;
    if (kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return false;
    const QByteArray line = stat.readAll();
    const int close = line.lastIndexOf(')');
    if (close < 0 || close + 2 >= line.size()) return true;
    const char state = line.at(close + 2);
    return state != 'Z' && state != 'X';
}

QList<qint64> processGroupMembers(qint64 pgid) {
    QList<qint64> members;
    if (pgid <= 0) return members;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric) continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray line = stat.readAll();
        const int close = line.lastIndexOf(')');
        if (close < 0) continue;
        // After the command: state, ppid, pgrp, ...
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        if (fields.size() < 3) continue;
        if (fields.at(2).toLongLong() == pgid && fields.at(0) != "Z" && fields.at(0) != "X") members << pid;
    }
    return members;
}

bool processGroupExists(qint64 pgid) {
    if (pgid <= 0) return false;
    if (kill(-static_cast<pid_t>(pgid), 0) != 0 && errno != EPERM) return false;
    // Something answers, but it may be zombies only: members whose parent has
    // gone wait for init to reap them, which not every container init does.
    return !processGroupMembers(pgid).isEmpty();
}

}  // namespace testsupport
