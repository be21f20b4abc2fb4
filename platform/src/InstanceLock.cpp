#include "platform/InstanceLock.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// True when `path` is a folder (not a link) of ours that no one else may write
// to, judged on the opened folder itself.
bool isPrivateFolder(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    const bool ok = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
                    (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
    ::close(fd);
    return ok;
}

// Makes the folder `path` with mode 0700 unless something of that name is
// there, then checks it: anyone could have made that name first.
bool makePrivateFolder(const QByteArray& path) {
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) return false;
    return isPrivateFolder(path);
}

// The user's own folder for state that outlives a session: $XDG_STATE_HOME
// when it is an absolute path, else ~/.local/state. Empty when there is no
// home folder.
QString stateHome() {
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.startsWith(QLatin1Char('/'))) return state;
    QString home = qEnvironmentVariable("HOME");
    if (!home.startsWith(QLatin1Char('/'))) {
        const passwd* user = ::getpwuid(::getuid());
        home = user && user->pw_dir ? QFile::decodeName(user->pw_dir) : QString();
    }
    if (!home.startsWith(QLatin1Char('/'))) return {};
    return home + QStringLiteral("/.local/state");
}

// Makes `dir` and any missing folder above it with mode 0700 (existing ones
// are left as they are).
void makeFolders(const QString& dir) {
    const QByteArray path = QFile::encodeName(dir);
    for (int slash = path.indexOf('/', 1); slash > 0; slash = path.indexOf('/', slash + 1))
        ::mkdir(path.left(slash).constData(), 0700);
    ::mkdir(path.constData(), 0700);
}

}  // namespace

namespace platform {

QString runtimeDir() {
    // The desktop session's folder for per-user runtime files, when it has one
    // that is ours alone: whoever else controls it would hold our locks.
    const QString session = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (session.startsWith(QLatin1Char('/')) && isPrivateFolder(QFile::encodeName(session))) return session;

    // Otherwise a folder of our own in /tmp, unless someone else took its
    // name first (a folder or a link).
    const QString dir = QStringLiteral("/tmp/corvane-%1").arg(::getuid());
    if (makePrivateFolder(QFile::encodeName(dir))) return dir;

    // Otherwise a folder in the user's own home, which no one else can take.
    const QString state = stateHome();
    if (state.isEmpty()) return {};
    makeFolders(state);
    const QString own = state + QStringLiteral("/corvane");
    if (makePrivateFolder(QFile::encodeName(own))) return own;
    return {};
}

QString instanceLockPath(const QString& name) {
    if (name.isEmpty()) return {};
    const QString dir = runtimeDir();
    if (dir.isEmpty()) return {};
    QString file = name;
    file.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QChar(0), QLatin1Char('_'));
    return dir + QLatin1Char('/') + file + QStringLiteral(".lock");
}

InstanceLockResult acquireInstanceLock(const QString& name, int* handle) {
    *handle = -1;
    const QString path = instanceLockPath(name);
    if (path.isEmpty()) return InstanceLockResult::Failed;

    // Close-on-exec, or every program we start would hold the lock on.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
    if (fd < 0) return InstanceLockResult::Failed;
    int locked;
    do {
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return held ? InstanceLockResult::AlreadyExists : InstanceLockResult::Failed;
    }
    *handle = fd;
    return InstanceLockResult::Acquired;
}

}  // namespace platform
