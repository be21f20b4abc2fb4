#include "FileTools.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

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
    process.start(program, arguments, QIODevice::ReadWrite);
    result.started = process.waitForStarted(timeoutMs);
    if (result.started) {
        result.finished = process.waitForFinished(qMax(0, timeoutMs - int(clock.elapsed())));
        if (!result.finished) {
            process.kill();
            process.waitForFinished(5000);
        } else if (process.exitStatus() == QProcess::NormalExit) {
            result.exitCode = process.exitCode();
        }
    }
    result.output = process.readAll();
    result.elapsedMs = clock.elapsed();
    result.folderExists = QFileInfo(targetFolder).isDir();
    return result;
}
