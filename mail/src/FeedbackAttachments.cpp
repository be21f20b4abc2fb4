#include "mail/FeedbackAttachments.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "AttachmentFile.h"

namespace {

const char kDumpName[] = "crashcore.dmp";
const char kLogFolder[] = "Log";

// A folder descriptor, closed with the object.
class FolderDescriptor {
public:
    explicit FolderDescriptor(int fd) : m_fd(fd) {}
    ~FolderDescriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    FolderDescriptor(const FolderDescriptor&) = delete;
    FolderDescriptor& operator=(const FolderDescriptor&) = delete;

    bool isValid() const { return m_fd >= 0; }
    int fd() const { return m_fd; }

private:
    int m_fd;
};

struct TakenFile {
    QString name;
    AttachmentFile file;
};

// The entry names of an open folder, "." and ".." included.
std::vector<QByteArray> entryNames(int folderFd) {
    std::vector<QByteArray> names;
    const int fd = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return names;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) names.emplace_back(entry->d_name);
    ::closedir(dir);
    return names;
}

bool isLogName(const QByteArray& name) {
    if (name == "." || name == "..") return false;
    return QFileInfo(QFile::decodeName(name)).suffix() == QLatin1String("log");
}

// The log files that can be taken, smallest first; equal sizes in reverse
// name order (the order the folder listing has always given).
std::vector<TakenFile> takeLogs(int appFd) {
    std::vector<TakenFile> logs;
    const FolderDescriptor folder(
        ::openat(appFd, kLogFolder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!folder.isValid()) return logs;
    for (const QByteArray& name : entryNames(folder.fd())) {
        if (!isLogName(name)) continue;
        AttachmentFile file(folder.fd(), name.constData());
        if (file.isValid()) logs.push_back(TakenFile{QFile::decodeName(name), std::move(file)});
    }
    std::stable_sort(logs.begin(), logs.end(), [](const TakenFile& a, const TakenFile& b) {
        if (a.file.size() != b.file.size()) return a.file.size() < b.file.size();
        return QString::compare(a.name, b.name) > 0;
    });
    return logs;
}

}  // namespace

QList<FeedbackAttachments::File> FeedbackAttachments::collect(const QString& appDir) {
    QList<File> files;
    const FolderDescriptor app(::open(QFile::encodeName(appDir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!app.isValid()) return files;

    std::vector<TakenFile> taken;
    AttachmentFile dump(app.fd(), kDumpName);
    if (dump.isValid()) taken.push_back(TakenFile{QString::fromLatin1(kDumpName), std::move(dump)});
    for (TakenFile& log : takeLogs(app.fd())) taken.push_back(std::move(log));

    qint64 left = kMaxMailBytes;
    for (const TakenFile& each : taken) {
        // Once the mail's bound is used up, only empty files still fit.
        if (left <= 0 && each.file.size() > 0) continue;
        const qint64 room = std::min(kMaxFileBytes, left);
        const QByteArray bytes = each.file.readTail(room);
        // A file cut to what was left of the mail's bound fills the mail.
        left = (room < kMaxFileBytes && each.file.size() > room) ? 0 : left - bytes.size();
        files << File{each.name, bytes};
    }
    return files;
}
