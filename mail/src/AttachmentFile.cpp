#include "AttachmentFile.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How far into a cut tail a line start is looked for: a log line is far
// shorter, and a file without line ends (a binary) loses no more than this.
constexpr qint64 kLineStartSearch = 64 * 1024;

bool takeable(int fd, qint64* size) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    if (!S_ISREG(st.st_mode) || st.st_nlink != 1 || st.st_uid != ::geteuid()) return false;
    *size = static_cast<qint64>(st.st_size);
    return true;
}

}  // namespace

AttachmentFile::AttachmentFile(int folderFd, const char* name) {
    const int fd = ::openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return;
    if (!takeable(fd, &m_size)) {
        ::close(fd);
        m_size = 0;
        return;
    }
    m_fd = fd;
}

AttachmentFile::~AttachmentFile() {
    if (m_fd >= 0) ::close(m_fd);
}

AttachmentFile::AttachmentFile(AttachmentFile&& other) noexcept : m_fd(other.m_fd), m_size(other.m_size) {
    other.m_fd = -1;
    other.m_size = 0;
}

AttachmentFile& AttachmentFile::operator=(AttachmentFile&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = other.m_fd;
        m_size = other.m_size;
        other.m_fd = -1;
        other.m_size = 0;
    }
    return *this;
}

bool AttachmentFile::isValid() const { return m_fd >= 0; }

qint64 AttachmentFile::size() const { return m_size; }

QByteArray AttachmentFile::readTail(qint64 limit) const {
    if (m_fd < 0 || limit <= 0) return QByteArray();
    if (m_size <= limit) return readAt(0, m_size);
    // One byte more in front tells whether the tail already starts a line.
    const qint64 start = m_size - limit;
    QByteArray bytes = readAt(start - 1, limit + 1);
    if (bytes.isEmpty()) return bytes;
    qint64 cut = 1;
    if (bytes.at(0) != '\n') {
        const int lineEnd = bytes.indexOf('\n', 1);
        if (lineEnd > 0 && lineEnd <= kLineStartSearch && lineEnd + 1 < bytes.size()) cut = lineEnd + 1;
    }
    bytes.remove(0, static_cast<int>(cut));
    return bytes;
}

QByteArray AttachmentFile::readAt(qint64 offset, qint64 length) const {
    QByteArray bytes(static_cast<int>(length), Qt::Uninitialized);
    qint64 got = 0;
    while (got < length) {
        const ssize_t n = ::pread(m_fd, bytes.data() + got, static_cast<size_t>(length - got), offset + got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += n;
    }
    bytes.truncate(static_cast<int>(got));
    return bytes;
}
