#include "dlhttp/http_error.h"

namespace dlhttp {
namespace detail {

namespace {

const char* message_text(int value) {
    switch (value) {
    case malformed_status_line: return "Malformed status line";
    case malformed_response_headers: return "Malformed response headers";
    case invalid_entry_type: return "invalid type requested from entry";
    case invalid_chunked_encoding: return "Invalid chunked encoding";
    case invalid_redirect_address: return "Invalid redirect address";
    case partial_message: return "Partial message";
    case continue_request: return "Continue";
    case switching_protocols: return "Switching protocols";
    case ok: return "OK";
    case created: return "Created";
    case accepted: return "Accepted";
    case non_authoritative_information: return "Non-authoritative information";
    case no_content: return "No content";
    case reset_content: return "Reset content";
    case partial_content: return "Partial content";
    case multiple_choices: return "Multiple choices";
    case moved_permanently: return "Moved permanently";
    case found: return "Found";
    case see_other: return "See other";
    case not_modified: return "Not modified";
    case use_proxy: return "Use proxy";
    case temporary_redirect: return "Temporary redirect";
    case bad_request: return "Bad request";
    case unauthorized: return "Unauthorized";
    case payment_required: return "Payment required";
    case forbidden: return "Forbidden";
    case not_found: return "Not found";
    case method_not_allowed: return "Method not allowed";
    case not_acceptable: return "Not acceptable";
    case proxy_authentication_required: return "Proxy authentication required";
    case request_timeout: return "Request time-out";
    case conflict: return "Conflict";
    case gone: return "Gone";
    case length_required: return "Length required";
    case precondition_failed: return "Precondition failed";
    case request_entity_too_large: return "Request entity too large";
    case request_uri_too_large: return "Request URI too large";
    case unsupported_media_type: return "Unsupported media type";
    case requested_range_not_satisfiable: return "Requested range not satisfiable";
    case expectation_failed: return "Expectation failed";
    case internal_server_error: return "Internal server error";
    case not_implemented: return "Not implemented";
    case bad_gateway: return "Bad gateway";
    case service_unavailable: return "Service unavailable";
    case gateway_timeout: return "Gateway time-out";
    case http_version_not_supported: return "HTTP version not supported";
    case socks_unsupported_version: return "SOCKS unsupported version";
    case socks_username_required: return "SOCKS username required";
    case socks_unsupported_authentication_version: return "SOCKS unsupported authentication version";
    case socks_authentication_error: return "SOCKS authentication error";
    case socks_general_failure: return "SOCKS general failure";
    case socks_command_not_supported: return "SOCKS command not supported";
    case socks_no_identd: return "SOCKS no identd running";
    case socks_identd_mismatch: return "SOCKS no identd running";
    case fake_continue: return "Fake continue";
    default: return "Unknown HTTP error";
    }
}

}  // namespace

const char* error_category_impl::name() const noexcept { return "HTTP"; }

boost::system::error_condition error_category_impl::default_error_condition(int value) const noexcept {
    switch (value) {
    case unauthorized:
    case forbidden: return boost::system::errc::make_error_condition(boost::system::errc::permission_denied);
    case not_found: return boost::system::errc::make_error_condition(boost::system::errc::no_such_file_or_directory);
    default: return boost::system::error_condition(value, *this);
    }
}

std::string error_category_impl::message(int value) const { return message_text(value); }

}  // namespace detail

const boost::system::error_category& http_category() {
    // A function-local static: its initialisation is thread-safe, so a first
    // use from two threads yields the one object.
    static const detail::error_category_impl instance;
    return instance;
}

boost::system::error_code make_error_code(http_error e) {
    return boost::system::error_code(static_cast<int>(e), http_category());
}

boost::system::error_condition make_error_condition(http_error e) {
    return boost::system::error_condition(static_cast<int>(e), http_category());
}

}  // namespace dlhttp
