#include "dlhttp/storage.h"

#include <new>

namespace dlhttp {

namespace {

std::uint32_t buffer_size(int size) { return size < 0 ? 0 : static_cast<std::uint32_t>(size); }

}  // namespace

default_storge::~default_storge() { file_.close(); }

void default_storge::open(const std::wstring& path, boost::system::error_code& ec) {
    file_.open(path, detail::native_file::read_write, ec);
}

void default_storge::close() { file_.close(); }

std::int64_t default_storge::write(const char* buffer, std::int64_t offset, int size) {
    boost::system::error_code ec;
    if (size < 0) return -1;
    return file_.write(offset, buffer, buffer_size(size), ec);
}

std::int64_t default_storge::write(const char* buffer, int size) { return write(buffer, -1, size); }

std::int64_t default_storge::read(char* buffer, std::int64_t offset, int size) {
    boost::system::error_code ec;
    if (size < 0) return -1;
    return file_.read(offset, buffer, buffer_size(size), ec);
}

std::int64_t default_storge::read(char* buffer, int size) { return read(buffer, -1, size); }

bool default_storge::eof() {
    boost::system::error_code ec;
    const std::int64_t position = file_.position(ec);
    if (position < 0) return false;
    char byte = 0;
    const std::int64_t n = file_.read(-1, &byte, 1, ec);
    file_.set_position(position, ec);
    return n == 0;
}

storage_interface* make_default_storage() { return new (std::nothrow) default_storge(); }

}  // namespace dlhttp
