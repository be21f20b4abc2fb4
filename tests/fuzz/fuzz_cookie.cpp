// Fuzzes the set-cookie line parser and the Cookie header value built from it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "dlhttp/cookie.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    // Lines separated by line feeds go to one jar, as several set-cookie fields would.
    dlhttp::cookie_jar jar;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        jar.add_line(text.substr(start, end - start));
        start = end + 1;
    }
    jar.cookie_line(false, "", "");
    jar.cookie_line(true, "www.example.test", "/a/b");
    for (std::size_t i = 0; i < jar.size() && i < 4; ++i) {
        jar.cookie_line(false, jar.records()[i].domain, jar.records()[i].path);
    }
    dlhttp::merge_cookies(jar, jar);
    return 0;
}
