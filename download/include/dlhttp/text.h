#pragma once

// Small text helpers of the download engine. All of them work on ASCII bytes
// alone and never consult a locale: what they handle are protocol texts
// (header names and values, cookie attributes, port numbers), whose meaning
// must not change with the process's locale.

#include <string>

namespace dlhttp {
namespace detail {

// The number in decimal, as the "C" locale writes it (no digit grouping).
std::string decimal(long long value);

// The text without leading and trailing space, tab, CR, LF, VT and FF.
std::string trim(const std::string& text);

// The text with "A" to "Z" turned into "a" to "z"; other bytes unchanged.
std::string to_lower(const std::string& text);

// A line break or NUL in a text that goes into a request line, a header or a
// proxy exchange would end it early and let the text add lines of its own.
bool has_line_break_or_nul(const std::string& text);

}  // namespace detail
}  // namespace dlhttp
