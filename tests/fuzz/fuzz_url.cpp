// Fuzzes the URL parser, its printer and the URL text escape.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "dlhttp/url.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    boost::system::error_code ec;
    const dlhttp::url u = dlhttp::url::from_string(text, ec);
    if (ec) {
        if (!u.to_string(dlhttp::url::all_parts).empty()) std::abort();
    } else {
        const int port = u.port();
        if (port < 0 || port > 65535) std::abort();
        const std::string printed = u.to_string(dlhttp::url::all_parts);
        u.to_string(dlhttp::url::host_part | dlhttp::url::port_part);
        if (u.path().empty()) std::abort();
        // A printed URL with its scheme parses again to the same text (an
        // empty user information is not printed, so an "@" in the host
        // would then be read as its end).
        const bool at_in_host = u.user_info().empty() && u.host().find('@') != std::string::npos;
        if (!u.scheme().empty() && !at_in_host) {
            boost::system::error_code again;
            const dlhttp::url v = dlhttp::url::from_string(printed, again);
            if (again || v.to_string(dlhttp::url::all_parts) != printed) std::abort();
        }
    }
    const std::string escaped = dlhttp::escape_url_text(text);
    if (dlhttp::escape_url_text(escaped) != escaped) std::abort();
    return 0;
}
