// SOCKS 4 and SOCKS 5 through the proxy of the stream: connect to the proxy,
// ask it to connect on to the URL's host and port, then go on as after a
// direct connect (TLS handshake for "https", then the request).
#include "dlhttp/http_stream.h"

#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

#include "dlhttp/http_error.h"
#include "dlhttp/text.h"

namespace dlhttp {

namespace {

using detail::decimal;
using detail::has_line_break_or_nul;

// Byte i of the reply read so far; 0 past its end. A close empties the buffer
// under a read that had already completed: such a reply then fails its checks
// (no valid reply has a 0 where a version or a grant code is checked).
unsigned char byte_at(const boost::asio::streambuf& b, std::size_t i) {
    if (i >= b.size()) return 0;
    return static_cast<unsigned char>(*(boost::asio::buffers_begin(b.data()) + i));
}

// The system errors that a SOCKS 5 reply code stands for.
boost::system::error_code socks5_failure(unsigned code) {
    switch (code) {
    case 2: return boost::asio::error::access_denied;
    case 3: return boost::asio::error::network_unreachable;
    case 4: return boost::asio::error::host_unreachable;
    case 5: return boost::asio::error::connection_refused;
    case 6: return boost::asio::error::timed_out;
    case 7: return make_error_code(socks_command_not_supported);
    case 8: return boost::asio::error::address_family_not_supported;
    default: return make_error_code(socks_general_failure);
    }
}

}  // namespace

void http_stream::socks_proxy_open(tcp_socket& s, const operation& op) {
    proxy_phase_ = phase_resolving_proxy;
    // Every name travels with a one-byte length (SOCKS 4: up to a NUL), so a
    // longer one, or one with a line break or NUL, is refused, never cut.
    std::string host = url_.host();
    if (proxy_.username.size() > 255 || proxy_.password.size() > 255 || host.size() > 255 ||
        has_line_break_or_nul(proxy_.username) || has_line_break_or_nul(proxy_.password) || has_line_break_or_nul(host))
        return complete_soon(op, boost::asio::error::invalid_argument);
    resolve(proxy_.host, decimal(proxy_.port),
            [this, &s, op](const boost::system::error_code& ec, const endpoint_list& endpoints) {
                if (ec) return complete(op, ec);
                proxy_phase_ = phase_connecting_proxy;
                auto list = std::make_shared<endpoint_list>(endpoints);
                connect_each(s, list, 0, false, boost::asio::error::host_not_found,
                             [this, &s, op](const boost::system::error_code& ec) {
                                 if (ec) return complete(op, ec);
                                 socks_connected(s, op);
                             });
            });
}

void http_stream::socks_connected(tcp_socket& s, const operation& op) {
    request_buffer_.consume(request_buffer_.size());
    std::ostream out(&request_buffer_);
    if (proxy_.kind == proxy_socks4) {
        proxy_phase_ = phase_resolving_target;
        resolve(url_.host(), decimal(url_.port()),
                [this, &s, op](const boost::system::error_code& ec, const endpoint_list& endpoints) {
                    if (ec) return complete(op, ec);
                    // SOCKS 4 carries an IPv4 address: the first one the name has.
                    const boost::asio::ip::tcp::endpoint* target = nullptr;
                    for (const auto& e : endpoints)
                        if (e.address().is_v4()) {
                            target = &e;
                            break;
                        }
                    if (!target) return complete(op, boost::asio::error::address_family_not_supported);
                    proxy_target_ = boost::asio::ip::tcp::endpoint(target->address(), url_.port());
                    proxy_phase_ = phase_request_written;
                    unsigned port = proxy_target_.port();
                    auto bytes = proxy_target_.address().to_v4().to_bytes();
                    std::ostream out(&request_buffer_);
                    out.put(4).put(1).put(char(port >> 8 & 0xff)).put(char(port & 0xff));
                    out.write(reinterpret_cast<const char*>(bytes.data()), 4);
                    out << proxy_.username;
                    out.put(0);
                    socks_write(s, op);
                });
        return;
    }
    // SOCKS 5 greeting: no authentication, and user name/password when set.
    proxy_phase_ = phase_request_written;
    if (proxy_.username.empty())
        out.put(5).put(1).put(0);
    else
        out.put(5).put(2).put(0).put(2);
    socks_write(s, op);
}

void http_stream::socks_write(tcp_socket& s, const operation& op) {
    boost::asio::async_write(s, request_buffer_, [this, &s, op](const boost::system::error_code& ec, std::size_t) {
        socks_step(s, op, ec);
    });
}

void http_stream::socks_read(tcp_socket& s, std::size_t n, const operation& op) {
    boost::asio::async_read(
        s, response_buffer_, boost::asio::transfer_exactly(n),
        [this, &s, op](const boost::system::error_code& ec, std::size_t) { socks_step(s, op, ec); });
}

boost::system::error_code http_stream::socks5_connect_request() {
    std::string host = url_.host();
    unsigned port = static_cast<unsigned>(url_.port()) & 0xffff;
    request_buffer_.consume(request_buffer_.size());
    std::ostream out(&request_buffer_);
    out.put(5).put(1).put(0).put(3).put(char(host.size()));
    out << host;
    out.put(char(port >> 8)).put(char(port & 0xff));
    return boost::system::error_code();
}

void http_stream::socks_step(tcp_socket& s, const operation& op, const boost::system::error_code& ec) {
    if (ec) return complete(op, ec);
    switch (proxy_phase_) {
    case phase_request_written:
        response_buffer_.consume(response_buffer_.size());
        proxy_phase_ = proxy_.kind == proxy_socks4 ? phase_socks4_reply : phase_method_reply;
        return socks_read(s, proxy_phase_ == phase_socks4_reply ? 8 : 2, op);
    case phase_socks4_reply: {  // SOCKS 4 reply: only the status is looked at
        unsigned status = byte_at(response_buffer_, 1);
        if (status == 90) break;
        if (status == 91) return complete(op, make_error_code(socks_authentication_error));
        if (status == 92) return complete(op, make_error_code(socks_no_identd));
        if (status == 93) return complete(op, make_error_code(socks_identd_mismatch));
        return complete(op, make_error_code(socks_general_failure));
    }
    case phase_method_reply: {
        if (byte_at(response_buffer_, 0) != 5) return complete(op, make_error_code(socks_unsupported_version));
        unsigned method = byte_at(response_buffer_, 1);
        if (method == 2) {
            if (proxy_.username.empty()) return complete(op, make_error_code(socks_username_required));
            request_buffer_.consume(request_buffer_.size());
            std::ostream out(&request_buffer_);
            out.put(1).put(char(proxy_.username.size())) << proxy_.username;
            out.put(char(proxy_.password.size())) << proxy_.password;
            proxy_phase_ = phase_auth_written;
            return socks_write(s, op);
        }
        if (method != 0) return complete(op, make_error_code(socks_unsupported_authentication_version));
        proxy_phase_ = phase_connect_request;
        socks5_connect_request();
        proxy_phase_ = phase_connect_written;
        return socks_write(s, op);
    }
    case phase_auth_written:
        response_buffer_.consume(response_buffer_.size());
        proxy_phase_ = phase_auth_reply;
        return socks_read(s, 2, op);
    case phase_auth_reply:
        if (byte_at(response_buffer_, 0) != 1)
            return complete(op, make_error_code(socks_unsupported_authentication_version));
        if (byte_at(response_buffer_, 1) != 0) return complete(op, make_error_code(socks_authentication_error));
        proxy_phase_ = phase_connect_request;
        socks5_connect_request();
        proxy_phase_ = phase_connect_written;
        return socks_write(s, op);
    case phase_connect_written:
        response_buffer_.consume(response_buffer_.size());
        proxy_phase_ = phase_connect_reply;
        return socks_read(s, 10, op);
    case phase_connect_reply: {  // connect reply: version, code, reserved, address type, ...
        if (byte_at(response_buffer_, 0) != 5)
            return complete(op, make_error_code(op.blocking ? socks_unsupported_version : socks_general_failure));
        unsigned code = byte_at(response_buffer_, 1);
        if (code != 0) return complete(op, socks5_failure(code));
        unsigned type = byte_at(response_buffer_, 3);
        if (type == 1) break;
        std::size_t rest;
        if (type == 3) {
            // length byte, name, port: 7 + length bytes in all, 10 read so far
            unsigned length = byte_at(response_buffer_, 4);
            if (length < 3) return complete(op, make_error_code(socks_general_failure));
            rest = length - 3;
        } else if (type == 4) {
            rest = 22 - 10;  // a bound IPv6 address and port
        } else {
            return complete(op, boost::asio::error::address_family_not_supported);
        }
        proxy_phase_ = phase_connect_reply_rest;
        if (rest == 0) break;
        return socks_read(s, rest, op);
    }
    case phase_connect_reply_rest: break;
    default: return complete(op, make_error_code(socks_general_failure));
    }
    // The proxy has connected on.
    response_buffer_.consume(response_buffer_.size());
    if (protocol_ == "https") {
        proxy_phase_ = phase_tls_handshake;
        return tls_handshake(op);
    }
    connected(op);
}

}  // namespace dlhttp
