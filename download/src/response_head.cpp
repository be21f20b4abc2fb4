#include "dlhttp/response_head.h"

#include <cctype>
#include <limits>

#include "dlhttp/text.h"

namespace dlhttp {
namespace detail {

namespace {

bool is_control(unsigned char c) { return c < 32 || c == 127; }

// Characters that may not appear in a header name.
bool is_forbidden_name_char(unsigned char c) {
    switch (c) {
    case ' ':
    case '^':
    case '`':
    case '{':
    case '|':
    case '}': return true;
    default: return is_control(c) || c > 127;
    }
}

}  // namespace

bool parse_content_length(const std::string& text, std::int64_t& value) {
    if (text.empty()) return false;
    std::int64_t result = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        int d = c - '0';
        if (result > (std::numeric_limits<std::int64_t>::max() - d) / 10) return false;
        result = result * 10 + d;
    }
    value = result;
    return true;
}

namespace {

void raise_length(const std::string& text, std::int64_t& content_length) {
    std::int64_t value = 0;
    if (parse_content_length(text, value) && value > content_length) content_length = value;
}

}  // namespace

bool equals_ignore_case(const std::string& a, const std::string& b) {
    return a.size() == b.size() && to_lower(a) == to_lower(b);
}

void take_special_header(const std::string& name, const std::string& value, std::string& content_type,
                         std::int64_t& content_length, std::string& location) {
    if (equals_ignore_case(name, "Content-Type")) {
        content_type = value;
    } else if (equals_ignore_case(name, "Content-Length")) {
        raise_length(value, content_length);
    } else if (equals_ignore_case(name, "Location")) {
        location = value;
    } else if (equals_ignore_case(name, "Content-Range")) {
        std::size_t slash = value.find('/');
        if (slash != std::string::npos && slash + 1 < value.size())
            raise_length(value.substr(slash + 1), content_length);
    }
}

bool parse_header_block(const char* begin, const char* end, std::string& content_type, std::int64_t& content_length,
                        std::string& location, option_list& options) {
    std::string name;
    std::string value;
    auto store = [&]() {
        std::string n = trim(name);
        std::string v = trim(value);
        take_special_header(n, v, content_type, content_length, location);
        options.insert(n, v);
        name.clear();
        value.clear();
    };

    int state = 0;
    for (const char* p = begin; p != end; ++p) {
        const char c = *p;
        const unsigned char u = static_cast<unsigned char>(c);
        switch (state) {
        case 0:  // start of the first line
            if (c == '\r') {
                state = 7;
            } else if (is_forbidden_name_char(u)) {
                return false;
            } else {
                name += c;
                state = 3;
            }
            break;
        case 1:  // start of a following line
            if (c == '\r') {
                store();
                state = 7;
            } else if (c == ' ' || c == '\t') {
                state = 2;
            } else if (is_forbidden_name_char(u)) {
                return false;
            } else {
                store();
                name += c;
                state = 3;
            }
            break;
        case 2:  // leading white space of a continuation line
            if (c == '\r') {
                state = 6;
            } else if (c == ' ' || c == '\t') {
            } else if (is_control(u)) {
                return false;
            } else {
                value += c;
                state = 5;
            }
            break;
        case 3:  // name
            if (c == ':') {
                state = 4;
            } else if (is_forbidden_name_char(u)) {
                return false;
            } else {
                name += c;
            }
            break;
        case 4:  // right after ":"
            if (c == '\r') {
                state = 6;
            } else if (is_control(u)) {
                return false;
            } else {
                value += c;
                state = 5;
            }
            break;
        case 5:  // value
            if (c == '\r') {
                state = 6;
            } else if (c == '\n') {
                state = 1;
            } else if (is_control(u)) {
                return false;
            } else {
                value += c;
            }
            break;
        case 6:  // after a carriage return
            if (c != '\n') return false;
            state = 1;
            break;
        case 7:  // after the carriage return of the empty line
            return c == '\n';
        default: return false;
        }
    }
    return false;
}

}  // namespace detail
}  // namespace dlhttp
