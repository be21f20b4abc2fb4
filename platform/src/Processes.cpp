#include "platform/Processes.h"

#include "platform/Programs.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <limits>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

QByteArray& processTableRootOverride() {
    static QByteArray root;
    return root;
}

QByteArray processTableRoot() {
    const QByteArray& over = processTableRootOverride();
    return over.isEmpty() ? QByteArrayLiteral("/proc") : over;
}

// Reads at most `limit` bytes of a small /proc file; empty when it cannot be read.
QByteArray readSmallFile(const QByteArray& path, int limit) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    QByteArray data;
    char buffer[4096];
    while (data.size() < limit) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        data.append(buffer, static_cast<int>(n));
    }
    ::close(fd);
    return data.left(limit);
}

QByteArray baseName(const QByteArray& path) {
    const int slash = path.lastIndexOf('/');
    return slash < 0 ? path : path.mid(slash + 1);
}

qint64 realUserIdIn(const QByteArray& dir) {
    const QByteArray status = readSmallFile(dir + "/status", 8192);
    // "Uid:\t<real>\t<effective>\t<saved>\t<file system>"; the file starts with "Name:".
    int at = status.indexOf("\nUid:");
    if (at < 0) return -1;
    ++at;
    const int end = status.indexOf('\n', at);
    const QList<QByteArray> ids = status.mid(at + 4, end < 0 ? -1 : end - at - 4).simplified().split(' ');
    bool ok = false;
    const qint64 id = ids.value(0).toLongLong(&ok);
    return ok && id >= 0 ? id : -1;
}

// True for a zombie or a dead process: /proc/<pid>/stat holds "pid (comm) S ...",
// where comm may itself hold blanks and parentheses, so the state follows the
// last ')'.
bool isZombie(const QByteArray& dir) {
    const QByteArray stat = readSmallFile(dir + "/stat", 1024);
    const int close = stat.lastIndexOf(')');
    if (close < 0 || close + 2 >= stat.size()) return true;  // gone meanwhile
    const char state = stat.at(close + 2);
    return state == 'Z' || state == 'X' || state == 'x';
}

// Fills the name, the executable's path (when readable) and the owner of the
// process in `dir`; false for a process without a name.
bool describeProcess(const QByteArray& dir, platform::ProcessEntry* entry) {
    if (isZombie(dir)) return false;
    char target[PATH_MAX];
    const ssize_t n = ::readlink((dir + "/exe").constData(), target, sizeof target - 1);
    QByteArray name;
    if (n > 0) {
        QByteArray path(target, static_cast<int>(n));
        static const QByteArray deleted(" (deleted)");
        if (path.endsWith(deleted)) path.chop(deleted.size());
        name = baseName(path);
        entry->executablePath = QFile::decodeName(path);
    } else {
        // No readable executable: the program's own first argument.
        const QByteArray cmdline = readSmallFile(dir + "/cmdline", PATH_MAX);
        const int end = cmdline.indexOf('\0');
        name = baseName(end < 0 ? cmdline : cmdline.left(end));
    }
    entry->name = QFile::decodeName(name);
    entry->userId = realUserIdIn(dir);
    return !entry->name.isEmpty();
}

// A process id from a /proc entry name: decimal digits only, no leading zero, in
// the range of process ids; 0 for anything else ("self", "sys", ...).
std::uint32_t processIdOf(const char* entry) {
    if (entry[0] < '1' || entry[0] > '9') return 0;
    unsigned long long value = 0;
    for (const char* p = entry; *p; ++p) {
        if (*p < '0' || *p > '9') return 0;
        value = value * 10 + static_cast<unsigned>(*p - '0');
        if (value > static_cast<unsigned long long>(std::numeric_limits<pid_t>::max())) return 0;
    }
    return static_cast<std::uint32_t>(value);
}

// Without process descriptors only a process's main thread, whose id is its
// thread-group id, stands for the process; other thread ids are refused.
bool isProcessMainThread(pid_t pid) {
    const QByteArray status = readSmallFile("/proc/" + QByteArray::number(pid) + "/status", 8192);
    const int at = status.indexOf("\nTgid:");
    if (at < 0) return false;
    const int end = status.indexOf('\n', at + 1);
    return status.mid(at + 6, end < 0 ? -1 : end - at - 6).trimmed().toLongLong() == pid;
}

platform::ProcessEndingHook& processEndingHook() {
    static platform::ProcessEndingHook hook = nullptr;
    return hook;
}

// True while the process behind the descriptor `pidfd` lives (a zombie counts:
// its id is not free either).
bool stillAlive(int pidfd) { return ::syscall(SYS_pidfd_send_signal, pidfd, 0, nullptr, 0) == 0; }

// True when the process `processId` is, as of now, one that a look-up of
// `name` may end: so named, of the calling user, not the caller.
bool isEndableAs(std::uint32_t processId, const QString& name) {
    platform::ProcessEntry now;
    now.processId = processId;
    return processId != static_cast<std::uint32_t>(::getpid()) &&
           describeProcess(processTableRoot() + '/' + QByteArray::number(processId), &now) && now.name == name &&
           now.userId == static_cast<qint64>(::getuid());
}

// Ends the process chosen from the table by `name`. The table was read a while
// ago and the id may have passed to another process since, so the process is
// opened first and checked while its descriptor is held: the descriptor stays
// bound to the process it was opened on, and while that process lives no other
// can have its id, so what /proc/<id> says then is about that very process.
// The signal goes through the descriptor.
void endChosenProcess(std::uint32_t processId, const QString& name) {
    const pid_t pid = static_cast<pid_t>(processId);
    if (const platform::ProcessEndingHook hook = processEndingHook()) hook(processId);
    const long fd = ::syscall(SYS_pidfd_open, pid, 0);
    if (fd < 0) {
        // A kernel (or a sandbox) without process descriptors: check and end
        // by id, with the gap that leaves.
        if ((errno == ENOSYS || errno == EPERM) && isEndableAs(processId, name) && isProcessMainThread(pid))
            ::kill(pid, SIGKILL);
        return;
    }
    const int pidfd = static_cast<int>(fd);
    if (isEndableAs(processId, name) && stillAlive(pidfd)) ::syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0);
    ::close(pidfd);
}

}  // namespace

int TerminateProcessById(std::uint32_t processId) {
    // 0 and anything beyond the pid range (a negative pid_t) would address a
    // process group or every process with kill(): never pass them on.
    if (processId == 0 || processId > static_cast<std::uint32_t>(std::numeric_limits<pid_t>::max())) return -1;
    const pid_t pid = static_cast<pid_t>(processId);

    // Open the process, like OpenProcess: a process descriptor refers to exactly
    // one process (the kernel refuses thread ids and ids of no process) and stays
    // bound to it even if the id were reused meanwhile.
    const long fd = ::syscall(SYS_pidfd_open, pid, 0);
    if (fd >= 0) {
        const long sent = ::syscall(SYS_pidfd_send_signal, static_cast<int>(fd), SIGKILL, nullptr, 0);
        ::close(static_cast<int>(fd));
        // Refused (no right to signal it) or already gone: it could not be opened
        // for termination.
        return sent == 0 ? 0 : -1;
    }
    if (errno != ENOSYS && errno != EPERM) return -1;
    // A kernel (or a sandbox) without process descriptors.
    if (!isProcessMainThread(pid)) return -1;
    return ::kill(pid, SIGKILL) == 0 ? 0 : -1;
}

bool KillProcessByName(const QString& programName) {
    std::vector<platform::ProcessEntry> entries;
    if (!platform::processSnapshot(&entries)) {
        std::fputs("CreateToolhelp32Snapshot failed!\n", stdout);
        std::fflush(stdout);
        return false;
    }
    if (const platform::ProcessEntry* entry = platform::chooseProcess(entries, programName))
        endChosenProcess(entry->processId, entry->name);
    return true;
}

std::uint32_t FindProcessIdByName(const QString& programName) {
    std::vector<platform::ProcessEntry> entries;
    if (!platform::processSnapshot(&entries)) {
        std::fputs("CreateToolhelp32Snapshot failed!\n", stdout);
        std::fflush(stdout);
        return 0xFFFFFFFFu;
    }
    const platform::ProcessEntry* entry = platform::chooseProcess(entries, programName);
    if (!entry) return 0;
    std::printf("find the file you want: %s\n", entry->name.toLocal8Bit().constData());
    std::fflush(stdout);
    return entry->processId;
}

namespace platform {

bool processSnapshot(std::vector<ProcessEntry>* entries) {
    entries->clear();
    const QByteArray root = processTableRoot();
    DIR* dir = ::opendir(root.constData());
    if (!dir) return false;
    std::vector<std::uint32_t> ids;
    while (const dirent* entry = ::readdir(dir)) {
        if (const std::uint32_t id = processIdOf(entry->d_name)) ids.push_back(id);
    }
    ::closedir(dir);
    std::sort(ids.begin(), ids.end());

    for (const std::uint32_t id : ids) {
        ProcessEntry entry;
        entry.processId = id;
        if (describeProcess(root + '/' + QByteArray::number(id), &entry)) entries->push_back(entry);
    }
    return true;
}

const ProcessEntry* chooseProcess(const std::vector<ProcessEntry>& entries, const QString& programName) {
    const QString name = processName(programName);
    const std::uint32_t self = static_cast<std::uint32_t>(::getpid());
    const qint64 user = static_cast<qint64>(::getuid());
    const QString appDir = QFileInfo(applicationDir()).canonicalFilePath();
    const ProcessEntry* first = nullptr;
    for (const ProcessEntry& entry : entries) {
        // Another user's process of that name is not ours to end, even when
        // we could (as root).
        if (entry.processId == self || entry.name != name || entry.userId != user) continue;
        if (!appDir.isEmpty() && !entry.executablePath.isEmpty() && QFileInfo(entry.executablePath).path() == appDir)
            return &entry;
        if (!first) first = &entry;
    }
    return first;
}

void setProcessTableRoot(const QString& root) { processTableRootOverride() = QFile::encodeName(root); }

void setProcessEndingHook(ProcessEndingHook hook) { processEndingHook() = hook; }

}  // namespace platform
