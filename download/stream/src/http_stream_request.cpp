// The sending half of the stream: composing a request from the caller's
// options, writing it, and the tunnel through an HTTP proxy ("CONNECT").
#include "dlhttp/http_stream.h"

#include <boost/asio/read_until.hpp>
#include <boost/asio/write.hpp>
#include <boost/system/system_error.hpp>

#include "dlhttp/http_error.h"
#include "dlhttp/option_names.h"
#include "dlhttp/response_head.h"
#include "dlhttp/text.h"

namespace dlhttp {

namespace {

const char default_accept[] = "text/html, application/xhtml+xml, */*";
const char default_user_agent[] = "Mozilla/5.0 (Windows NT 6.1; Trident/7.0; rv:11.0) like Gecko";

std::string base64(const std::string& text) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < text.size(); i += 3) {
        unsigned n = (unsigned char)text[i] << 16 | (unsigned char)text[i + 1] << 8 | (unsigned char)text[i + 2];
        out += digits[n >> 18 & 63];
        out += digits[n >> 12 & 63];
        out += digits[n >> 6 & 63];
        out += digits[n & 63];
    }
    if (i + 1 == text.size()) {
        unsigned n = (unsigned char)text[i] << 16;
        out += digits[n >> 18 & 63];
        out += digits[n >> 12 & 63];
        out += "==";
    } else if (i + 2 == text.size()) {
        unsigned n = (unsigned char)text[i] << 16 | (unsigned char)text[i + 1] << 8;
        out += digits[n >> 18 & 63];
        out += digits[n >> 12 & 63];
        out += digits[n >> 6 & 63];
        out += '=';
    }
    return out;
}

using detail::has_line_break_or_nul;

// Takes `name` out of `w` (first match ignoring case, removal exact) with a default.
std::string take(option_list& w, const std::string& name, const std::string& fallback) {
    std::string value = fallback;
    if (w.find(name, value)) w.remove(name);
    return value;
}

bool internal_option(const std::string& name) {
    return name == option_names::path || name == option_names::url || name == option_names::request_method ||
           name == option_names::http_version || name == option_names::request_body ||
           name == option_names::status_code;
}

std::string host_for_request_line(const url& u) {
    // An IPv6 literal keeps its brackets, so the port stays apart from it.
    return u.ipv6_host() ? "[" + u.host() + "]" : u.host();
}

}  // namespace

bool http_stream::in_clear_through_http_proxy() const {
    return (proxy_.kind == proxy_http || proxy_.kind == proxy_http_auth) && protocol_ != "https";
}

std::string http_stream::proxy_authorization() const {
    if (proxy_.kind == proxy_http_auth) return "Basic " + base64(proxy_.username + ":" + proxy_.password);
    if (proxy_.kind == proxy_http && !url_.user_info().empty()) return "Basic " + base64(url_.user_info());
    return std::string();
}

void http_stream::request(const option_list& opts, boost::system::error_code& ec) {
    bool done = false;
    begin_request(
        opts,
        [&](const boost::system::error_code& result) {
            ec = result;
            done = true;
        },
        true);
    run_until(done);
}

void http_stream::reset_response() {
    content_type_.clear();
    content_length_ = -1;
    body_length_ = -1;
    status_code_ = 0;
    body_bytes_read_ = 0;
    chunked_ = false;
    chunk_phase_ = chunk_size_line;
    chunk_remaining_ = 0;
    trailer_bytes_ = 0;
    gzip_ = false;
    inflate_done_ = false;
    inflated_bytes_ = 0;
    if (inflater_.zalloc) inflater_.avail_in = 0;
    fetch_error_ = boost::system::error_code();
    ++read_generation_;
}

boost::system::error_code http_stream::compose_request(const option_list& opts, bool blocking) {
    option_list w = opts;
    request_options_.clear();
    keep_alive_ = true;
    reset_response();

    std::string target_url = take(w, option_names::url, "");
    if (!target_url.empty()) url_ = url(target_url);
    request_options_.insert(option_names::url, target_url);
    std::string method = take(w, option_names::request_method, "GET");
    request_options_.insert(option_names::request_method, method);
    std::string version = take(w, option_names::http_version, "HTTP/1.1");
    request_options_.insert(option_names::http_version, version);
    std::string host = take(w, option_names::host, url_.to_string(url::host_part | url::port_part));
    request_options_.insert(option_names::host, host);
    std::string accept = take(w, option_names::accept, default_accept);
    request_options_.insert(option_names::accept, accept);
    std::string user_agent = take(w, option_names::user_agent, default_user_agent);
    request_options_.insert(option_names::user_agent, user_agent);

    // Only the cookies of this host and path go with the request.
    std::string cookie = cookies_.cookie_line(protocol_ == "https", url_.host(), url_.path());

    bool via_proxy = in_clear_through_http_proxy();
    std::string authorization;
    if (via_proxy) {
        if (proxy_.kind == proxy_http_auth &&
            (has_line_break_or_nul(proxy_.username) || has_line_break_or_nul(proxy_.password)))
            return boost::asio::error::invalid_argument;
        authorization = proxy_authorization();
        if (!authorization.empty()) request_options_.insert("Proxy-Authorization", authorization);
    }

    std::string connection_name = via_proxy ? option_names::proxy_connection : option_names::connection;
    std::string connection = take(w, connection_name, "close");
    request_options_.insert(connection_name, connection);
    if (via_proxy && connection == "close") keep_alive_ = false;

    std::string body = take(w, option_names::request_body, "");
    request_options_.insert(option_names::request_body, body);

    std::string extra;
    for (const auto& entry : w) {
        if (internal_option(entry.first)) continue;
        if (has_line_break_or_nul(entry.first) || has_line_break_or_nul(entry.second))
            return boost::asio::error::invalid_argument;
        extra += entry.first + ": " + entry.second + "\r\n";
        request_options_.insert(entry.first, entry.second);
    }

    // Neither the user information nor the fragment is ever sent: the one is
    // a credential, the other is for the client alone.
    std::string target =
        via_proxy
            ? url_.to_string(url::scheme_part | url::host_part | url::port_part | url::path_part | url::query_part)
            : url_.to_string(url::path_part | url::query_part);
    request_options_.insert(option_names::path, target);

    for (const std::string* text : {&method, &version, &host, &accept, &user_agent, &cookie, &connection, &target})
        if (has_line_break_or_nul(*text)) return boost::asio::error::invalid_argument;

    std::string text = method + " " + target + " " + version + "\r\n";
    text += "Host: " + host + "\r\n";
    text += "Accept: " + accept + "\r\n";
    if (!blocking && !authorization.empty()) text += "Proxy-Authorization: " + authorization + "\r\n";
    text += "User-Agent: " + user_agent + "\r\n";
    if (!cookie.empty()) text += "Cookie: " + cookie + "\r\n";
    text += connection_name + ": " + connection + "\r\n";
    if (blocking && !authorization.empty()) text += "Proxy-Authorization: " + authorization + "\r\n";
    text += extra + "\r\n";
    text += body;

    request_buffer_.consume(request_buffer_.size());
    std::ostream out(&request_buffer_);
    out << text;
    return boost::system::error_code();
}

void http_stream::begin_request(const option_list& opts, const open_handler& handler, bool blocking) {
    arm_deadline();
    location_.clear();
    start_request(opts, operation{handler, blocking});
}

void http_stream::start_request(const option_list& opts, const operation& op) {
    if (!sock_.is_open()) return complete_soon(op, boost::asio::error::network_reset);
    boost::system::error_code ec = compose_request(opts, op.blocking);
    if (ec) return complete_soon(op, ec);
    write_request(op);
}

void http_stream::write_request(const operation& op) {
    boost::asio::async_write(sock_, request_buffer_, [this, op](const boost::system::error_code& ec, std::size_t) {
        if (ec) return complete(op, ec);
        if (user_request_options_.fake_continue()) return complete(op, make_error_code(fake_continue));
        response_buffer_.consume(response_buffer_.size());
        read_status_line(op);
    });
}

void http_stream::http_proxy_tunnel(tcp_socket& s, const operation& op) {
    resolve(proxy_.host, detail::decimal(proxy_.port),
            [this, &s, op](const boost::system::error_code& ec, const endpoint_list& endpoints) {
                if (ec) return complete(op, ec);
                auto list = std::make_shared<endpoint_list>(endpoints);
                connect_each(s, list, 0, false, boost::asio::error::host_not_found,
                             [this, &s, op](const boost::system::error_code& ec) {
                                 if (ec) return complete(op, ec);
                                 tunnel_connected(s, op);
                             });
            });
}

void http_stream::tunnel_connected(tcp_socket& s, const operation& op) {
    option_list w = request_options_;
    std::string user_agent = take(w, option_names::user_agent, default_user_agent);
    std::string accept = take(w, option_names::accept, default_accept);
    // The Host of the origin the tunnel goes to, also after a redirect to
    // another origin (the options of the request before name the old one).
    std::string host = url_.to_string(url::host_part | url::port_part);
    std::string target = host_for_request_line(url_) + ":" + detail::decimal(url_.port());
    std::string authorization;
    if (proxy_.kind == proxy_http_auth &&
        (has_line_break_or_nul(proxy_.username) || has_line_break_or_nul(proxy_.password)))
        return complete(op, boost::asio::error::invalid_argument);
    authorization = proxy_authorization();
    for (const std::string* text : {&user_agent, &accept, &host, &target, &authorization})
        if (has_line_break_or_nul(*text)) return complete(op, boost::asio::error::invalid_argument);

    std::string text = "CONNECT " + target + " HTTP/1.1\r\n";
    text += "Host: " + host + "\r\n";
    if (!authorization.empty()) text += "Proxy-Authorization:" + authorization + "\r\n";
    text += "Accept: " + accept + "\r\n";
    text += "User-Agent: " + user_agent + "\r\n\r\n";
    request_buffer_.consume(request_buffer_.size());
    std::ostream out(&request_buffer_);
    out << text;
    boost::asio::async_write(s, request_buffer_, [this, &s, op](const boost::system::error_code& ec, std::size_t) {
        if (ec) return complete(op, ec);
        response_buffer_.consume(response_buffer_.size());
        boost::asio::async_read_until(
            s, response_buffer_, "\r\n",
            [this, &s, op](const boost::system::error_code& ec, std::size_t) { tunnel_status_line(s, op, ec); });
    });
}

}  // namespace dlhttp
