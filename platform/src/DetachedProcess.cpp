#include "platform/DetachedProcess.h"

#include <QByteArray>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

// What the intermediate child reports through its pipe.
struct SpawnReport {
    int error = 0;  // 0: started; else the errno of the failed start
    pid_t pid = -1;
};

// Ends the intermediate child without running anything of the program's own
// (no exit handlers, no sanitizer exit checks: they may take locks).
[[noreturn]] void leave(int code) {
    syscall(SYS_exit_group, code);
    for (;;) pause();
}

bool readAll(int fd, void* data, size_t size) {
    auto* bytes = static_cast<char*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

}  // namespace

bool startDetached(const QString& program, const QStringList& arguments, qint64* processId) {
    // Everything the children need is made here, before the fork.
    QString path = program;
    if (!program.contains(QLatin1Char('/'))) path = QStandardPaths::findExecutable(program);
    if (path.isEmpty()) return false;
    const QByteArray file = QFile::encodeName(path);
    std::vector<QByteArray> encoded;
    encoded.reserve(size_t(arguments.size()) + 1);
    encoded.push_back(file);
    for (const QString& argument : arguments) encoded.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& argument : encoded) argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0) return false;
    sigset_t none, pipeSignal;
    sigemptyset(&none);
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &pipeSignal);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        posix_spawnattr_destroy(&attributes);
        return false;
    }

    // The intermediate child starts the program and exits at once, so that the
    // program is nobody's child here. Between fork and exit it only makes
    // calls that take no lock and allocate nothing.
    const pid_t child = fork();
    if (child == 0) {
        ::close(report[0]);
        SpawnReport result;
        result.error = posix_spawn(&result.pid, file.constData(), nullptr, &attributes, argv.data(), environ);
        const ssize_t written = ::write(report[1], &result, sizeof result);
        leave(written == ssize_t(sizeof result) ? 0 : 1);
    }
    ::close(report[1]);
    posix_spawnattr_destroy(&attributes);
    if (child < 0) {
        ::close(report[0]);
        return false;
    }
    SpawnReport result;
    const bool reported = readAll(report[0], &result, sizeof result);
    ::close(report[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!reported || result.error != 0 || result.pid <= 0) return false;
    if (processId) *processId = result.pid;
    return true;
}

}  // namespace platform
