// Fuzzes the status line and header block parsers of a response head.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "dlhttp/option_list.h"
#include "dlhttp/response_head.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* begin = reinterpret_cast<const char*>(data);
    const char* end = begin + size;

    int major = 0, minor = 0, status = 0;
    const char* p = begin;
    dlhttp::detail::parse_status_line(p, end, major, minor, status);
    if (major < 0 || minor < 0 || status < 0) std::abort();

    // The header block after the first line feed (or the whole input).
    const char* block = begin;
    for (const char* q = begin; q != end; ++q) {
        if (*q == '\n') {
            block = q + 1;
            break;
        }
    }
    std::string content_type, location;
    std::int64_t content_length = -1;
    dlhttp::option_list options;
    dlhttp::detail::parse_header_block(block, end, content_type, content_length, location, options);
    if (content_length < -1) std::abort();
    std::string value;
    options.find("content-length", value);
    options.remove("Content-Length");
    return 0;
}
