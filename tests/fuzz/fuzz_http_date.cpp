// Fuzzes the HTTP date parser and its conversion to a ptime.
#include <cstddef>
#include <cstdint>
#include <string>

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include "dlhttp/http_date.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::int64_t seconds = 0;
    dlhttp::detail::parse_http_date(text.c_str(), seconds);
    boost::posix_time::ptime time;
    dlhttp::detail::http_date_to_ptime(text, time);
    return 0;
}
