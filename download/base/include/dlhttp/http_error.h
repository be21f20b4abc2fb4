#pragma once

// Error codes of the download engine: one "HTTP" error category carries the
// engine's own failures, the HTTP status codes of responses and the SOCKS
// handshake failures.

#include <string>

#include <boost/system/error_code.hpp>
#include <boost/system/system_error.hpp>

namespace dlhttp {

// Values of the "HTTP" error category. An HTTP status other than 200 and 206
// is reported as the error whose value is that status, so the enumeration has
// a fixed underlying type: any status a server sends is a valid value of it.
enum http_error : int {
    malformed_status_line = 1,
    malformed_response_headers = 2,
    invalid_entry_type = 10,
    invalid_chunked_encoding = 11,
    invalid_redirect_address = 12,
    // The connection ended before the body did (short of its Content-Length,
    // inside a chunked body or a gzip stream).
    partial_message = 13,
    continue_request = 100,
    switching_protocols = 101,
    ok = 200,
    created = 201,
    accepted = 202,
    non_authoritative_information = 203,
    no_content = 204,
    reset_content = 205,
    partial_content = 206,
    multiple_choices = 300,
    moved_permanently = 301,
    found = 302,
    see_other = 303,
    not_modified = 304,
    use_proxy = 305,
    temporary_redirect = 307,
    bad_request = 400,
    unauthorized = 401,
    payment_required = 402,
    forbidden = 403,
    not_found = 404,
    method_not_allowed = 405,
    not_acceptable = 406,
    proxy_authentication_required = 407,
    request_timeout = 408,
    conflict = 409,
    gone = 410,
    length_required = 411,
    precondition_failed = 412,
    request_entity_too_large = 413,
    request_uri_too_large = 414,
    unsupported_media_type = 415,
    requested_range_not_satisfiable = 416,
    expectation_failed = 417,
    internal_server_error = 500,
    not_implemented = 501,
    bad_gateway = 502,
    service_unavailable = 503,
    gateway_timeout = 504,
    http_version_not_supported = 505,
    socks_unsupported_version = 1000,
    socks_username_required = 1001,
    socks_unsupported_authentication_version = 1002,
    socks_authentication_error = 1003,
    socks_general_failure = 1004,
    socks_command_not_supported = 1005,
    socks_no_identd = 1006,
    socks_identd_mismatch = 1007,
    fake_continue = 1008
};

namespace detail {

// The one "HTTP" category. Stateless; 401/403 map to permission_denied and
// 404 to no_such_file_or_directory, every other value to itself.
class error_category_impl : public boost::system::error_category {
public:
    const char* name() const noexcept override;
    boost::system::error_condition default_error_condition(int value) const noexcept override;
    std::string message(int value) const override;
};

}  // namespace detail

// The process-wide "HTTP" category.
const boost::system::error_category& http_category();

boost::system::error_code make_error_code(http_error e);
boost::system::error_condition make_error_condition(http_error e);

}  // namespace dlhttp

namespace boost {
namespace system {
template <>
struct is_error_code_enum<dlhttp::http_error> {
    static const bool value = true;
};
}  // namespace system
}  // namespace boost
