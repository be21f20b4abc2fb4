#pragma once

// The engine's HTTP date parser (RFC 1123, RFC 850, asctime and a few more
// forms, with a table of zone names and numeric zones).

#include <cstdint>
#include <string>

#include <boost/date_time/posix_time/posix_time_types.hpp>

namespace dlhttp {
namespace detail {

// Seconds since 1970-01-01 00:00:00 UTC; false when the text is no date, the
// year is before 1970 (then `seconds` is 0) or the result does not fit.
bool parse_http_date(const char* text, std::int64_t& seconds);

// parse_http_date converted to a UTC ptime. False (and `time` unchanged when
// the text does not parse) when no valid time results.
bool http_date_to_ptime(const std::string& text, boost::posix_time::ptime& time);

}  // namespace detail
}  // namespace dlhttp
