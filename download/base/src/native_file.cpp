#include "dlhttp/native_file.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dlhttp {
namespace detail {

namespace {

boost::system::error_code last_error() { return boost::system::error_code(errno, boost::system::system_category()); }

void append_utf8(std::string& out, std::uint32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Whether `fd` is open; a closed file fails with EBADF.
bool check_open(int fd, boost::system::error_code& ec) {
    if (fd >= 0) return true;
    ec = boost::system::error_code(EBADF, boost::system::system_category());
    return false;
}

// Moves the file position of the open `fd` to `offset`, or leaves it for -1.
bool seek_for(int fd, std::int64_t offset, boost::system::error_code& ec) {
    if (!check_open(fd, ec)) return false;
    if (offset == -1) return true;
    if (::lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
        ec = last_error();
        return false;
    }
    return true;
}

}  // namespace

std::string narrow(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t c : text) append_utf8(out, static_cast<std::uint32_t>(c));
    return out;
}

std::wstring widen(const std::string& text) {
    std::wstring out;
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        int extra = -1;
        std::uint32_t cp = 0;
        if (lead < 0x80) {
            extra = 0;
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            cp = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            cp = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            cp = lead & 0x07;
        }
        bool valid = extra >= 0 && i + extra < text.size();
        for (int k = 1; valid && k <= extra; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) valid = false;
            cp = (cp << 6) | (next & 0x3F);
        }
        const std::uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (valid && (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) valid = false;
        if (valid) {
            out += static_cast<wchar_t>(cp);
            i += extra + 1;
        } else {
            out += static_cast<wchar_t>(0xFFFD);
            ++i;
        }
    }
    return out;
}

native_file::~native_file() { close(); }

void native_file::open(const std::wstring& path, int mode, boost::system::error_code& ec) {
    close();
    path_ = path;
    if (mode != read_write) {
        ec = boost::system::error_code(EINVAL, boost::system::system_category());
        return;
    }
    int fd = ::open(narrow(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        ec = last_error();
        return;
    }
    // One writer per file: a regular file is locked exclusively, so a second
    // open for writing (from this or another process) fails.
    struct stat st;
    if (::fstat(fd, &st) != 0 || (S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) != 0)) {
        ec = last_error();
        ::close(fd);
        return;
    }
    fd_ = fd;
    mode_ = mode;
    ec = boost::system::error_code();
}

void native_file::close() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
    path_.clear();
    mode_ = 0;
}

std::int64_t native_file::writev(std::int64_t offset, const file_buffer* buffers, int count,
                                 boost::system::error_code& ec) {
    if (!seek_for(fd_, offset, ec)) return -1;
    std::int64_t total = 0;
    for (int i = 0; i < count; ++i) {
        const char* data = buffers[i].data;
        std::uint32_t left = buffers[i].size;
        // A short write is continued; a write that makes no progress (a full
        // disk) or fails is an error.
        while (left > 0) {
            ssize_t n = ::write(fd_, data, left);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ec = n < 0 ? last_error() : boost::system::error_code(ENOSPC, boost::system::system_category());
                return -1;
            }
            data += n;
            left -= static_cast<std::uint32_t>(n);
            total += n;
        }
    }
    ec = boost::system::error_code();
    return total;
}

std::int64_t native_file::readv(std::int64_t offset, const mutable_file_buffer* buffers, int count,
                                boost::system::error_code& ec) {
    if (!seek_for(fd_, offset, ec)) return -1;
    std::int64_t total = 0;
    for (int i = 0; i < count; ++i) {
        char* data = buffers[i].data;
        std::uint32_t left = buffers[i].size;
        while (left > 0) {
            ssize_t n = ::read(fd_, data, left);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                ec = last_error();
                return -1;
            }
            if (n == 0) break;  // end of file
            data += n;
            left -= static_cast<std::uint32_t>(n);
            total += n;
        }
    }
    ec = boost::system::error_code();
    return total;
}

std::int64_t native_file::write(std::int64_t offset, const char* data, std::uint32_t size,
                                boost::system::error_code& ec) {
    file_buffer buffer{data, size};
    return writev(offset, &buffer, 1, ec);
}

std::int64_t native_file::read(std::int64_t offset, char* data, std::uint32_t size, boost::system::error_code& ec) {
    mutable_file_buffer buffer{data, size};
    return readv(offset, &buffer, 1, ec);
}

std::int64_t native_file::position(boost::system::error_code& ec) const {
    if (!check_open(fd_, ec)) return -1;
    off_t pos = ::lseek(fd_, 0, SEEK_CUR);
    if (pos < 0) {
        ec = last_error();
        return -1;
    }
    ec = boost::system::error_code();
    return pos;
}

bool native_file::set_position(std::int64_t position, boost::system::error_code& ec) {
    if (!check_open(fd_, ec)) return false;
    if (::lseek(fd_, static_cast<off_t>(position), SEEK_SET) < 0) {
        ec = last_error();
        return false;
    }
    ec = boost::system::error_code();
    return true;
}

}  // namespace detail
}  // namespace dlhttp
