#include "platform/InstanceLock.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

QString runtimeDir() {
    // The desktop session's folder for per-user runtime files, when it has one.
    const QString session = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (session.startsWith(QLatin1Char('/'))) return session;

    // Otherwise a folder of our own in /tmp. Anyone could have made that name
    // first, so it counts only when it is a folder (not a link) owned by us that
    // no one else can write to.
    const uid_t uid = ::getuid();
    const QString dir = QStringLiteral("/tmp/corvane-%1").arg(uid);
    const QByteArray path = QFile::encodeName(dir);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) return {};
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0) return {};
    if (!S_ISDIR(info.st_mode) || info.st_uid != uid || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) return {};
    return dir;
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
