#include "FileTools.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

namespace {

// Removes what lies inside `dir`; links are removed as links.
void removeContents(const QString& dir) {
    const QFileInfoList entries =
        QDir(dir).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo& entry : entries) {
        const QString path = entry.filePath();
        if (entry.isSymLink() || !entry.isDir()) {
            QFile::remove(path);  // removes a link itself, dangling or not
            continue;
        }
        removeContents(path);
        QDir().rmdir(path);
    }
}

}  // namespace

bool DeleteDirectory(const QString& folderPath) {
    if (folderPath.isEmpty()) return false;
    const QFileInfo root(folderPath);
    if (root.isSymLink()) {
        QFile::remove(folderPath);
        return !QFileInfo(folderPath).isSymLink();
    }
    if (!root.exists()) return true;
    if (!root.isDir()) return false;
    removeContents(folderPath);
    QDir().rmdir(folderPath);
    return !QFileInfo::exists(folderPath);
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
