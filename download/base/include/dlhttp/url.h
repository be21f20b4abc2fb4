#pragma once

// A parsed URL: scheme, user information, host, port, path, query and fragment
// as narrow strings, plus whether the host was written in brackets.

#include <string>

#include <boost/system/error_code.hpp>

namespace dlhttp {

class url {
public:
    // Bit mask of the parts that to_string prints.
    enum component {
        scheme_part = 1,
        user_info_part = 2,
        host_part = 4,
        port_part = 8,
        path_part = 16,
        query_part = 32,
        fragment_part = 64,
        all_parts = scheme_part | user_info_part | host_part | port_part | path_part | query_part | fragment_part
    };

    url();
    // Parses the text; throws boost::system::system_error (invalid_argument) when it does not parse.
    explicit url(const std::string& text);

    std::string scheme() const { return scheme_; }
    std::string user_info() const { return user_info_; }
    std::string host() const { return host_; }
    // The port as a number; the scheme's default port (http 80, https 443,
    // ftp 21, else 0) when the URL names none.
    int port() const;
    std::string path() const { return path_; }
    std::string query() const { return query_; }
    std::string fragment() const { return fragment_; }
    bool ipv6_host() const { return ipv6_host_; }

    // The chosen parts, always in URL order; empty parts other than the host
    // print nothing, not even their separator.
    std::string to_string(int parts) const;

    // Parse; on failure the empty value and errc::invalid_argument (generic).
    static url from_string(const char* text, boost::system::error_code& ec);
    static url from_string(const std::string& text, boost::system::error_code& ec);
    // As above, but throws boost::system::system_error on failure.
    static url from_string(const char* text);
    static url from_string(const std::string& text);

private:
    std::string scheme_;
    std::string user_info_;
    std::string host_;
    std::string port_;
    std::string path_;
    std::string query_;
    std::string fragment_;
    bool ipv6_host_ = false;
};

// The URL text that `reference` (a "Location" value) names when read against
// `base` (RFC 3986 section 5.2): a reference that begins with a scheme
// ("http:", "a+b.c:", ...) is absolute and returned as it is; "//host/p"
// takes the base's scheme; "/p", "p", "../p", "?q" and "#f" take the base's
// scheme and authority, with the dot segments of the resulting path removed,
// and a reference without a path keeps the base's path (and, without a query
// of its own, the base's query).
std::string resolve_reference(const url& base, const std::string& reference);

// Percent-escapes bytes >= 128 and the characters space ^ ` { | } with
// lower-case hex digits; everything else (also "%") is copied unchanged.
std::string escape_url_text(const std::string& text);

// Two lower-case hex digits per byte, high digit first.
std::string to_hex(const std::string& bytes);

}  // namespace dlhttp
