#pragma once

// Parsers of an HTTP response head: the status line and the header block.

#include <cstdint>
#include <limits>
#include <string>

#include "dlhttp/option_list.h"

namespace dlhttp {
namespace detail {

// True when both strings are equal without regard to the case of "A" to "Z".
bool equals_ignore_case(const std::string& a, const std::string& b);

// A "Content-Length" value (already trimmed): decimal digits only, at least
// one, fitting 64 bits. Anything else (a sign, a list, trailing text) is no
// length. The one rule for the length that is reported and the length that
// frames a body.
bool parse_content_length(const std::string& text, std::int64_t& value);

// Picks the fields the download needs out of one (trimmed) header:
// Content-Type and Location replace, Content-Length and the total after "/"
// of Content-Range only ever raise the content length. A length that
// parse_content_length refuses is ignored.
void take_special_header(const std::string& name, const std::string& value, std::string& content_type,
                         std::int64_t& content_length, std::string& location);

// Parses a header block [begin, end) up to and including its empty line.
// Every header is appended to `options` (also those stored before a failure).
// True when the block ended with the empty line.
bool parse_header_block(const char* begin, const char* end, std::string& content_type, std::int64_t& content_length,
                        std::string& location, option_list& options);

// Most digits a version or status number of a status line may have.
const int status_line_max_digits = 9;

// Parses "HTTP/<major>.<minor> <status> <reason>\r\n" from the input,
// consuming what it reads (also on failure). Digits are added to the three
// numbers (the caller sets them to 0). A number with more than
// status_line_max_digits digits fails. True when the whole line including its
// line feed was read.
template <typename InputIterator>
bool parse_status_line(InputIterator begin, InputIterator end, int& major, int& minor, int& status) {
    int state = 0;
    int digits = 0;
    auto add_digit = [&digits](int& number, char c) {
        if (++digits > status_line_max_digits) return false;
        int d = c - '0';
        if (number > (std::numeric_limits<int>::max() - d) / 10) return false;
        number = number * 10 + d;
        return true;
    };
    auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
    auto is_ctl = [](char c) {
        unsigned char u = static_cast<unsigned char>(c);
        return u < 32 || u == 127;
    };
    while (begin != end) {
        char c = *begin;
        ++begin;
        switch (state) {
        case 0:
            if (c != 'H') return false;
            state = 1;
            break;
        case 1:
            if (c != 'T') return false;
            state = 2;
            break;
        case 2:
            if (c != 'T') return false;
            state = 3;
            break;
        case 3:
            if (c != 'P') return false;
            state = 4;
            break;
        case 4:
            if (c != '/') return false;
            state = 5;
            digits = 0;
            break;
        case 5:
            if (!is_digit(c) || !add_digit(major, c)) return false;
            state = 6;
            break;
        case 6:
            if (c == '.') {
                state = 7;
                digits = 0;
            } else if (!is_digit(c) || !add_digit(major, c)) {
                return false;
            }
            break;
        case 7:
            if (!is_digit(c) || !add_digit(minor, c)) return false;
            state = 8;
            break;
        case 8:
            if (c == ' ') {
                state = 9;
                digits = 0;
            } else if (!is_digit(c) || !add_digit(minor, c)) {
                return false;
            }
            break;
        case 9:
            if (!is_digit(c) || !add_digit(status, c)) return false;
            state = 10;
            break;
        case 10:
            if (c == ' ') {
                state = 11;
            } else if (!is_digit(c) || !add_digit(status, c)) {
                return false;
            }
            break;
        case 11:
            if (c == '\r') {
                state = 12;
            } else if (is_ctl(c)) {
                return false;
            }
            break;
        case 12: return c == '\n';
        default: return false;
        }
    }
    return false;
}

}  // namespace detail
}  // namespace dlhttp
