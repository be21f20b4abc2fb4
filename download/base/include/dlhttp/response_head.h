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

// The states of parse_status_line, one per character class it expects next.
enum class status_line_state : int {
    h = 0,             // "H"
    first_t = 1,       // "T"
    second_t = 2,      // "T"
    p = 3,             // "P"
    slash = 4,         // "/"
    major_first = 5,   // first digit of the major version
    major_more = 6,    // more of it, or "."
    minor_first = 7,   // first digit of the minor version
    minor_more = 8,    // more of it, or a space
    status_first = 9,  // first digit of the status
    status_more = 10,  // more of it, or a space
    reason = 11,       // the reason phrase up to the carriage return
    line_feed = 12,    // the line feed that ends the line
};

// Parses "HTTP/<major>.<minor> <status> <reason>\r\n" from the input,
// consuming what it reads (also on failure). Digits are added to the three
// numbers (the caller sets them to 0). A number with more than
// status_line_max_digits digits fails. True when the whole line including its
// line feed was read.
template <typename InputIterator>
bool parse_status_line(InputIterator begin, InputIterator end, int& major, int& minor, int& status) {
    using state_t = status_line_state;
    state_t state = state_t::h;
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
        case state_t::h:
            if (c != 'H') return false;
            state = state_t::first_t;
            break;
        case state_t::first_t:
            if (c != 'T') return false;
            state = state_t::second_t;
            break;
        case state_t::second_t:
            if (c != 'T') return false;
            state = state_t::p;
            break;
        case state_t::p:
            if (c != 'P') return false;
            state = state_t::slash;
            break;
        case state_t::slash:
            if (c != '/') return false;
            state = state_t::major_first;
            digits = 0;
            break;
        case state_t::major_first:
            if (!is_digit(c) || !add_digit(major, c)) return false;
            state = state_t::major_more;
            break;
        case state_t::major_more:
            if (c == '.') {
                state = state_t::minor_first;
                digits = 0;
            } else if (!is_digit(c) || !add_digit(major, c)) {
                return false;
            }
            break;
        case state_t::minor_first:
            if (!is_digit(c) || !add_digit(minor, c)) return false;
            state = state_t::minor_more;
            break;
        case state_t::minor_more:
            if (c == ' ') {
                state = state_t::status_first;
                digits = 0;
            } else if (!is_digit(c) || !add_digit(minor, c)) {
                return false;
            }
            break;
        case state_t::status_first:
            if (!is_digit(c) || !add_digit(status, c)) return false;
            state = state_t::status_more;
            break;
        case state_t::status_more:
            if (c == ' ') {
                state = state_t::reason;
            } else if (!is_digit(c) || !add_digit(status, c)) {
                return false;
            }
            break;
        case state_t::reason:
            if (c == '\r') {
                state = state_t::line_feed;
            } else if (is_ctl(c)) {
                return false;
            }
            break;
        case state_t::line_feed: return c == '\n';
        default: return false;
        }
    }
    return false;
}

}  // namespace detail
}  // namespace dlhttp
