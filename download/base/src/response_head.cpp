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

namespace {

// The states of parse_header_block.
enum class header_state : int {
    first_line = 0,           // start of the first line
    line_start = 1,           // start of a following line
    continuation = 2,         // leading white space of a continuation line
    name = 3,                 // in a name
    after_colon = 4,          // right after ":"
    value = 5,                // in a value
    after_cr = 6,             // after a carriage return that ends a line
    after_empty_line_cr = 7,  // after the carriage return of the empty line
};

// A character of a header name; false for one a name may not hold.
bool add_name_char(char c, std::string& name) {
    if (is_forbidden_name_char(static_cast<unsigned char>(c))) return false;
    name += c;
    return true;
}

// A character where a value starts or goes on (after the colon, a fold's
// white space or in the value): a carriage return ends the line, a control
// character is refused (false), any other belongs to the value.
bool take_value_char(char c, std::string& value, header_state& state) {
    if (c == '\r') {
        state = header_state::after_cr;
        return true;
    }
    if (is_control(static_cast<unsigned char>(c))) return false;
    value += c;
    state = header_state::value;
    return true;
}

}  // namespace

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

    header_state state = header_state::first_line;
    for (const char* p = begin; p != end; ++p) {
        const char c = *p;
        const unsigned char u = static_cast<unsigned char>(c);
        switch (state) {
        case header_state::first_line:
            if (c == '\r') {
                state = header_state::after_empty_line_cr;
            } else {
                if (!add_name_char(c, name)) return false;
                state = header_state::name;
            }
            break;
        case header_state::line_start:
            if (c == '\r') {
                store();
                state = header_state::after_empty_line_cr;
            } else if (c == ' ' || c == '\t') {
                state = header_state::continuation;
            } else if (is_forbidden_name_char(u)) {
                return false;
            } else {
                store();
                name += c;
                state = header_state::name;
            }
            break;
        case header_state::continuation:
            if (c == ' ' || c == '\t') break;
            if (!take_value_char(c, value, state)) return false;
            break;
        case header_state::name:
            if (c == ':') {
                state = header_state::after_colon;
            } else if (!add_name_char(c, name)) {
                return false;
            }
            break;
        case header_state::after_colon:
            if (!take_value_char(c, value, state)) return false;
            break;
        case header_state::value:
            if (c == '\n') {
                state = header_state::line_start;
            } else if (!take_value_char(c, value, state)) {
                return false;
            }
            break;
        case header_state::after_cr:
            if (c != '\n') return false;
            state = header_state::line_start;
            break;
        case header_state::after_empty_line_cr: return c == '\n';
        default: return false;
        }
    }
    return false;
}

}  // namespace detail
}  // namespace dlhttp
