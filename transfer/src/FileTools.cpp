#include "transfer/FileTools.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <cerrno>

#include "Tessiva/walk/FolderRemoval.h"

namespace {

// Opens the folder that holds `path` and gives the entry's own name; the folder
// stays open, so that everything after is done relative to it.
int openParent(const QByteArray& path, QByteArray* name) {
    QByteArray trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith('/')) trimmed.chop(1);
    const int slash = trimmed.lastIndexOf('/');
    *name = slash < 0 ? trimmed : trimmed.mid(slash + 1);
    const QByteArray parent = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : trimmed.left(slash);
    return open(parent.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// True when a part of the path is "." or "..": the folder it names is not the
// one its text shows.
bool hasDotPart(const QByteArray& path) {
    for (const QByteArray& part : path.split('/'))
        if (part == "." || part == "..") return true;
    return false;
}

bool entryGone(int parentFd, const QByteArray& name) {
    struct stat info;
    return fstatat(parentFd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT;
}

// Removes the folder `name` of the open folder parentFd with everything in it.
// The content goes through the library's descriptor walk: every entry is
// removed by its name (bytes, whatever their encoding) in its open folder, a
// link as a link, and a folder is entered only by O_NOFOLLOW from its parent
// and on the same file system, so a folder swapped for a link while the walk
// runs, or a mount inside, leads nowhere outside.
void removeFolderAt(int parentFd, const QByteArray& name) {
    const int fd = openat(parentFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    tessiva::FolderRemoval walk(nullptr, nullptr);
    // Unpacked installer files may be read-only; they go like any other.
    walk.setRemovesReadOnlyFiles(true);
    walk.removeContent(fd, QString::fromUtf8(name).toStdWString());
    unlinkat(parentFd, name.constData(), AT_REMOVEDIR);
}

}  // namespace

bool DeleteDirectory(const QString& folderPath) {
    if (folderPath.isEmpty()) return false;
    const QByteArray path = QFile::encodeName(folderPath);
    if (hasDotPart(path)) return false;
    QByteArray name;
    const int parentFd = openParent(path, &name);
    if (parentFd < 0) return errno == ENOENT;
    bool gone = false;
    struct stat info;
    if (name.isEmpty() || name == "." || name == "..") {
        gone = false;  // no folder of its own to remove
    } else if (fstatat(parentFd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        gone = errno == ENOENT;
    } else if (S_ISLNK(info.st_mode)) {
        // A link given as the folder is removed as a link, its target kept.
        gone = unlinkat(parentFd, name.constData(), 0) == 0 || entryGone(parentFd, name);
    } else if (S_ISDIR(info.st_mode)) {
        removeFolderAt(parentFd, name);
        gone = entryGone(parentFd, name);
    }
    close(parentFd);
    return gone;
}

namespace {
int g_unzipTimeoutMs = 0;
}  // namespace

int UnzipTimeoutMs() { return g_unzipTimeoutMs > 0 ? g_unzipTimeoutMs : kUnzipTimeoutMs; }

void SetUnzipTimeoutMs(int timeoutMs) { g_unzipTimeoutMs = timeoutMs; }

UnzipResult RunUnzip(const QString& program, const QStringList& arguments, const QString& targetFolder, int timeoutMs) {
    UnzipResult result;
    QElapsedTimer clock;
    clock.start();
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    // The caller waits, but the thread's events go on: unpacking the real
    // installer takes minutes, and a window that stopped painting for that
    // long looks hung. A local loop runs until 7-Zip ends, cannot be started,
    // or runs out of time (or the application quits, which ends every loop).
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&loop](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) loop.quit();
    });
    process.start(program, arguments, QIODevice::ReadWrite);
    limit.start(qMax(0, timeoutMs));
    // Signals come only from the loop, so none can be missed before it runs.
    if (process.state() != QProcess::NotRunning) loop.exec();

    result.started = process.error() != QProcess::FailedToStart;
    if (process.state() != QProcess::NotRunning) {
        // Out of time, or the application is quitting: 7-Zip does not outlive
        // the wait.
        process.kill();
        process.waitForFinished(5000);
    } else if (result.started) {
        result.finished = true;
        if (process.exitStatus() == QProcess::NormalExit) result.exitCode = process.exitCode();
    }
    result.output = process.readAll();
    result.elapsedMs = clock.elapsed();
    result.folderExists = QFileInfo(targetFolder).isDir();
    return result;
}
