#include "dlhttp/url.h"

#include <boost/system/system_error.hpp>

#include "dlhttp/text.h"

namespace dlhttp {

namespace {

// Highest port number; a longer or larger port text does not parse.
const long max_port = 65535;

boost::system::error_code invalid_argument() {
    return boost::system::errc::make_error_code(boost::system::errc::invalid_argument);
}

// Position of the first character of `stops` at or after `from`, or the end.
std::size_t find_stop(const std::string& s, std::size_t from, const char* stops) {
    std::size_t pos = s.find_first_of(stops, from);
    return pos == std::string::npos ? s.size() : pos;
}

bool valid_port(const std::string& port) {
    if (port.empty()) return false;
    long value = 0;
    for (char c : port) {
        if (!detail::is_digit(c)) return false;
        value = value * 10 + (c - '0');
        if (value > max_port) return false;
    }
    return true;
}

// True when the text begins with a scheme and its ":":
// ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ) ":".
bool begins_with_scheme(const std::string& text) {
    if (text.empty() || !detail::is_alpha(text[0])) return false;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ':') return true;
        if (!detail::is_alnum(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return false;
}

// RFC 3986 section 5.2.4.
std::string remove_dot_segments(std::string in) {
    std::string out;
    while (!in.empty()) {
        if (in.compare(0, 3, "../") == 0) {
            in.erase(0, 3);
        } else if (in.compare(0, 2, "./") == 0) {
            in.erase(0, 2);
        } else if (in.compare(0, 3, "/./") == 0) {
            in.erase(0, 2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.compare(0, 4, "/../") == 0 || in == "/..") {
            in = in.size() == 3 ? std::string("/") : in.substr(3);
            std::size_t last = out.rfind('/');
            out.erase(last == std::string::npos ? 0 : last);
        } else if (in == "." || in == "..") {
            in.clear();
        } else {
            std::size_t next = in.find('/', in[0] == '/' ? 1 : 0);
            if (next == std::string::npos) next = in.size();
            out += in.substr(0, next);
            in.erase(0, next);
        }
    }
    return out;
}

}  // namespace

std::string resolve_reference(const url& base, const std::string& reference) {
    if (begins_with_scheme(reference)) return reference;
    if (reference.compare(0, 2, "//") == 0) return base.scheme() + ":" + reference;

    const std::size_t path_end = find_stop(reference, 0, "?#");
    const std::string path = reference.substr(0, path_end);
    const std::size_t fragment_start = find_stop(reference, path_end, "#");
    const std::string query = reference.substr(path_end, fragment_start - path_end);  // with its "?"
    const std::string fragment = reference.substr(fragment_start);                    // with its "#"

    std::string target;
    if (path.empty()) {
        target = base.path() + (query.empty() ? base.to_string(url::query_part) : query);
    } else if (path[0] == '/') {
        target = remove_dot_segments(path) + query;
    } else {
        const std::string base_path = base.path();
        const std::size_t slash = base_path.rfind('/');
        const std::string folder = slash == std::string::npos ? "/" : base_path.substr(0, slash + 1);
        target = remove_dot_segments(folder + path) + query;
    }
    return base.to_string(url::scheme_part | url::user_info_part | url::host_part | url::port_part) + target + fragment;
}

url::url() = default;

url::url(const std::string& text) { *this = from_string(text); }

int url::port() const {
    if (port_.empty()) {
        if (scheme_ == "http") return 80;
        if (scheme_ == "https") return 443;
        if (scheme_ == "ftp") return 21;
        return 0;
    }
    // The parser accepts only digits up to 65535.
    int value = 0;
    for (char c : port_) value = value * 10 + (c - '0');
    return value;
}

std::string url::to_string(int parts) const {
    std::string out;
    if ((parts & scheme_part) && !scheme_.empty()) out += scheme_ + "://";
    if ((parts & user_info_part) && !user_info_.empty()) out += user_info_ + "@";
    if (parts & host_part) out += ipv6_host_ ? "[" + host_ + "]" : host_;
    if ((parts & port_part) && !port_.empty()) out += ":" + port_;
    if ((parts & path_part) && !path_.empty()) out += path_;
    if ((parts & query_part) && !query_.empty()) out += "?" + query_;
    if ((parts & fragment_part) && !fragment_.empty()) out += "#" + fragment_;
    return out;
}

url url::from_string(const char* text, boost::system::error_code& ec) {
    return from_string(std::string(text ? text : ""), ec);
}

url url::from_string(const std::string& s, boost::system::error_code& ec) {
    url result;
    ec = invalid_argument();

    // Scheme: everything before the first ":", lower-cased, followed by "://".
    std::size_t pos = find_stop(s, 0, ":");
    result.scheme_ = detail::to_lower(s.substr(0, pos));
    if (s.compare(pos, 3, "://") != 0) return url();
    pos += 3;

    // User information: up to an "@" that comes before the host ends.
    const std::size_t authority = pos;
    std::size_t stop = find_stop(s, authority, "@:[/?#");
    if (stop < s.size() && s[stop] == '@') {
        result.user_info_ = s.substr(authority, stop - authority);
        pos = stop + 1;
    } else if (stop < s.size() && s[stop] == ':') {
        std::size_t at = find_stop(s, stop, "@/?#");
        if (at < s.size() && s[at] == '@') {
            result.user_info_ = s.substr(authority, at - authority);
            pos = at + 1;
        }
    }

    // Host: bracketed (an IPv6 address) or up to the port, path, query or fragment.
    if (pos < s.size() && s[pos] == '[') {
        std::size_t close = s.find(']', pos + 1);
        if (close == std::string::npos) return url();
        result.host_ = s.substr(pos + 1, close - pos - 1);
        result.ipv6_host_ = true;
        pos = close + 1;
        if (pos < s.size() && std::string(":/?#").find(s[pos]) == std::string::npos) return url();
    } else {
        stop = find_stop(s, pos, ":/?#");
        result.host_ = s.substr(pos, stop - pos);
        pos = stop;
    }

    // Port: digits only, at most 65535.
    if (pos < s.size() && s[pos] == ':') {
        stop = find_stop(s, pos + 1, "/?#");
        result.port_ = s.substr(pos + 1, stop - pos - 1);
        if (!valid_port(result.port_)) return url();
        pos = stop;
    }

    if (pos < s.size() && s[pos] == '/') {
        stop = find_stop(s, pos, "?#");
        result.path_ = s.substr(pos, stop - pos);
        pos = stop;
    } else {
        result.path_ = "/";
    }
    if (pos < s.size() && s[pos] == '?') {
        stop = find_stop(s, pos + 1, "#");
        result.query_ = s.substr(pos + 1, stop - pos - 1);
        pos = stop;
    }
    if (pos < s.size() && s[pos] == '#') result.fragment_ = s.substr(pos + 1);

    ec = boost::system::error_code();
    return result;
}

url url::from_string(const char* text) { return from_string(std::string(text ? text : "")); }

url url::from_string(const std::string& text) {
    boost::system::error_code ec;
    url result = from_string(text, ec);
    if (ec) throw boost::system::system_error(ec);
    return result;
}

std::string to_hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes) {
        unsigned char u = static_cast<unsigned char>(c);
        out += digits[u >> 4];
        out += digits[u & 15];
    }
    return out;
}

std::string escape_url_text(const std::string& text) {
    static const std::string unsafe = " ^`{|}";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 128 || unsafe.find(c) != std::string::npos) {
            out += '%';
            out += to_hex(std::string(1, c));
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace dlhttp
