#pragma once

// A file descriptor with its path: the file under the default storage and the
// resume meta file. Reads and writes at 64-bit offsets, sharing one file
// position with the operations at the current position.

#include <cstdint>
#include <string>

#include <boost/system/error_code.hpp>

namespace dlhttp {
namespace detail {

// One buffer of a gathered write.
struct file_buffer {
    const char* data;
    std::uint32_t size;
};

// One buffer of a scattered read.
struct mutable_file_buffer {
    char* data;
    std::uint32_t size;
};

class native_file {
public:
    // Read and write; an existing file is opened, a missing one created. The
    // writer holds an exclusive lock on the file (readers without a lock are
    // allowed), so a second open for writing fails with EWOULDBLOCK.
    static constexpr int read_write = 2;

    native_file() = default;
    ~native_file();
    native_file(const native_file&) = delete;
    native_file& operator=(const native_file&) = delete;

    // Closes the file if open, remembers `path` (also when the open fails) and
    // opens it in `mode` (only read_write is known). Errors are errno values of
    // the system category.
    void open(const std::wstring& path, int mode, boost::system::error_code& ec);
    void close();
    bool is_open() const { return fd_ >= 0; }

    const std::wstring& path() const { return path_; }
    int mode() const { return mode_; }

    // Writes the buffers in turn at `offset` (-1: the current position) and
    // returns the bytes written, or -1 on any failure (a full disk included);
    // bytes already written stay written. The position ends after the data.
    std::int64_t writev(std::int64_t offset, const file_buffer* buffers, int count, boost::system::error_code& ec);
    // Reads into the buffers in turn at `offset` (-1: the current position);
    // at or past the end of the file the buffers get 0 bytes. -1 on failure.
    std::int64_t readv(std::int64_t offset, const mutable_file_buffer* buffers, int count,
                       boost::system::error_code& ec);

    std::int64_t write(std::int64_t offset, const char* data, std::uint32_t size, boost::system::error_code& ec);
    std::int64_t read(std::int64_t offset, char* data, std::uint32_t size, boost::system::error_code& ec);

    // The current position, or -1.
    std::int64_t position(boost::system::error_code& ec) const;
    bool set_position(std::int64_t position, boost::system::error_code& ec);

private:
    int fd_ = -1;
    std::wstring path_;
    int mode_ = 0;
};

// UTF-8 form of a wide (UTF-32) path or text, and back. Invalid code points
// become U+FFFD.
std::string narrow(const std::wstring& text);
std::wstring widen(const std::string& text);

}  // namespace detail
}  // namespace dlhttp
