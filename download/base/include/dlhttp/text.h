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
inline char to_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Character classes of the "C" locale: ASCII letters and digits only, so a
// byte above 127 is never a letter, whatever the process's locale says.
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }
inline bool is_alpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool is_alnum(char c) { return is_digit(c) || is_alpha(c); }
// Space, tab, CR, LF, VT and FF.
inline bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Reads a decimal number at the start of the text as the "C" locale's "%ld"
// does: leading white space, an optional sign, then digits up to the first
// other character; a value beyond the range of long is clamped to it. False
// when no digit follows.
bool leading_long(const std::string& text, long& value);

// A line break or NUL in a text that goes into a request line, a header or a
// proxy exchange would end it early and let the text add lines of its own.
bool has_line_break_or_nul(const std::string& text);

}  // namespace detail
}  // namespace dlhttp
