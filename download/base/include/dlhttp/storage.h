#pragma once

// Where a download writes the bytes it receives: an interface with one
// implementation over a native file.

#include <cstdint>
#include <string>

#include <boost/system/error_code.hpp>

#include "dlhttp/native_file.h"

namespace dlhttp {

class storage_interface {
public:
    virtual ~storage_interface() = default;

    virtual void open(const std::wstring& path, boost::system::error_code& ec) = 0;
    virtual void close() = 0;
    // Each returns the byte count, or -1 on failure (also when not open); a
    // read at or past the end of the file returns 0.
    virtual std::int64_t write(const char* buffer, std::int64_t offset, int size) = 0;
    virtual std::int64_t write(const char* buffer, int size) = 0;
    virtual std::int64_t read(char* buffer, std::int64_t offset, int size) = 0;
    virtual std::int64_t read(char* buffer, int size) = 0;
    // True when a read at the current position gives no byte; the position is
    // left where it was.
    virtual bool eof() = 0;
};

// The default storage (spelled so): one native file opened for reading and
// writing, created when missing.
class default_storge : public storage_interface {
public:
    ~default_storge() override;

    void open(const std::wstring& path, boost::system::error_code& ec) override;
    void close() override;
    std::int64_t write(const char* buffer, std::int64_t offset, int size) override;
    std::int64_t write(const char* buffer, int size) override;
    std::int64_t read(char* buffer, std::int64_t offset, int size) override;
    std::int64_t read(char* buffer, int size) override;
    bool eof() override;

private:
    detail::native_file file_;
};

// A new default storage with a closed file (the caller owns it), or null when
// memory runs out.
storage_interface* make_default_storage();

}  // namespace dlhttp
