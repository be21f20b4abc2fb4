// The stream object, opening a URL and the way to a connected socket: scheme
// check, name resolution, connecting to each endpoint, routing through a
// proxy, TLS set-up, redirects, time limits and close.
#include "dlhttp/http_stream.h"

#include <locale>
#include <sstream>

#include <boost/asio/connect.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl/host_name_verification.hpp>
#include <boost/system/system_error.hpp>
#include <openssl/ssl.h>

#include "dlhttp/http_error.h"

namespace dlhttp {

namespace {

std::string decimal(long long value) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << value;
    return out.str();
}

}  // namespace

http_stream::http_stream(boost::asio::io_service& io)
    : io_(io),
      resolver_(io),
      sock_(io),
      tunnel_socket_(io),
      response_buffer_(max_head_size),
      deadline_(io),
      alive_(std::make_shared<bool>(true)) {
    inflater_ = z_stream();
    setg(get_area_, get_area_, get_area_);
}

http_stream::~http_stream() {
    *alive_ = false;
    end_inflater();
}

bool http_stream::is_open() { return sock_.is_open(); }

void http_stream::run_until(const bool& done) {
    while (!done) {
        if (io_.stopped()) io_.restart();
        io_.run_one();
    }
    if (io_.stopped()) io_.restart();
}

void http_stream::arm_deadline() {
    uint64_t generation = ++deadline_generation_;
    timed_out_ = false;
    deadline_.expires_after(handshake_timeout_);
    std::shared_ptr<bool> alive = alive_;
    deadline_.async_wait([this, alive, generation](const boost::system::error_code& ec) {
        if (*alive) on_deadline(ec, generation);
    });
}

void http_stream::disarm_deadline() {
    ++deadline_generation_;
    deadline_.cancel();
}

void http_stream::on_deadline(const boost::system::error_code& ec, uint64_t generation) {
    if (ec || generation != deadline_generation_) return;
    // Ends whatever the open or request is waiting for; its completion then
    // reports timed_out.
    timed_out_ = true;
    boost::system::error_code ignored;
    resolver_.cancel();
    sock_.close(ignored);
    tunnel_socket_.close(ignored);
}

void http_stream::complete(const open_handler& handler, boost::system::error_code ec) {
    disarm_deadline();
    if (ec && timed_out_) ec = boost::asio::error::timed_out;
    timed_out_ = false;
    handler(ec);
}

void http_stream::post_result(const open_handler& handler, const boost::system::error_code& ec) {
    boost::asio::post(io_, [handler, ec]() { handler(ec); });
}

void http_stream::open(const url& u, boost::system::error_code& ec) {
    url target = u;
    for (;;) {
        bool done = false;
        start_open(
            target,
            [&](const boost::system::error_code& result) {
                ec = result;
                done = true;
            },
            true);
        run_until(done);
        if (ec != make_error_code(moved_permanently) && ec != make_error_code(found)) {
            redirect_count_ = 0;
            return;
        }
        boost::system::error_code ignored;
        sock_.close(ignored);
        ++redirect_count_;
        if (redirect_count_ > max_redirects_) {
            redirect_count_ = 0;
            return;
        }
        target = url(location_);
    }
}

boost::system::error_code http_stream::prepare_open(const url& u) {
    protocol_ = u.scheme();
    url_ = u;
    content_type_.clear();
    content_length_ = -1;
    body_length_ = -1;
    status_code_ = 0;
    body_bytes_read_ = 0;
    request_buffer_.consume(request_buffer_.size());
    response_buffer_.consume(response_buffer_.size());
    chunked_ = false;
    first_chunk_ = true;
    gzip_ = false;
    if (protocol_ != "http" && protocol_ != "https") return boost::asio::error::operation_not_supported;
    return boost::system::error_code();
}

boost::system::error_code http_stream::setup_tls() {
    boost::system::error_code ec;
    // The context (trust store, CA file and directory, sessions) is shared by
    // every connection set up the same way; loading it is the costly part.
    std::shared_ptr<detail::tls_context> context =
        detail::tls_context::shared(check_certificate_, ca_file_, ca_directory_, ec);
    if (ec) return ec;
    detail::ssl_stream& tls = sock_.install_tls(tunnel_socket_, context);
    std::string host = url_.host();
    SSL_set_tlsext_host_name(tls.stream().native_handle(), host.c_str());
    tls.resume_session(host, static_cast<uint16_t>(url_.port()));
    if (check_certificate_) {
        tls.stream().set_verify_mode(boost::asio::ssl::verify_peer);
        tls.stream().set_verify_callback(boost::asio::ssl::host_name_verification(host), ec);
    }
    return ec;
}

void http_stream::start_open(const url& u, const open_handler& handler, bool blocking) {
    blocking_ = blocking;
    boost::system::error_code ec = prepare_open(u);
    if (ec) return post_result(handler, ec);
    if (protocol_ == "http") {
        sock_.install_plain();
    } else {
        ec = setup_tls();
        if (ec) return post_result(handler, ec);
    }
    int kind = proxy_.kind;
    if (kind < proxy_none || kind > proxy_http_auth) {
        if (blocking_) return post_result(handler, boost::asio::error::operation_not_supported);
        kind = proxy_none;
    }
    arm_deadline();
    tcp_socket& bottom = protocol_ == "http" ? *sock_.lowest_layer() : tunnel_socket_;
    switch (kind) {
    case proxy_socks4:
    case proxy_socks5:
    case proxy_socks5_auth: socks_proxy_open(bottom, handler); break;
    case proxy_http:
    case proxy_http_auth:
        if (protocol_ == "http")
            connect_direct(handler);
        else
            http_proxy_tunnel(bottom, handler);
        break;
    default: connect_direct(handler); break;
    }
}

void http_stream::resolve(const std::string& host, const std::string& service,
                          const boost::function<void(const boost::system::error_code&, const endpoint_list&)>& next) {
    resolver_.async_resolve(
        host, service, boost::asio::ip::resolver_base::address_configured,
        [next](const boost::system::error_code& ec, const boost::asio::ip::tcp::resolver::results_type& results) {
            endpoint_list endpoints;
            for (const auto& entry : results) endpoints.push_back(entry.endpoint());
            next(ec, endpoints);
        });
}

void http_stream::connect_direct(const open_handler& handler) {
    bool through_proxy = (proxy_.kind == proxy_http || proxy_.kind == proxy_http_auth) && protocol_ == "http";
    std::string host = through_proxy ? proxy_.host : url_.host();
    std::string service = through_proxy ? decimal(proxy_.port) : decimal(static_cast<uint16_t>(url_.port()));
    resolve(host, service, [this, handler](const boost::system::error_code& ec, const endpoint_list& endpoints) {
        if (ec) return complete(handler, ec);
        body_bytes_read_ = 0;
        // The blocking open reports a name without address as host not found,
        // the asynchronous one as not found.
        boost::system::error_code none = blocking_ ? boost::system::error_code(boost::asio::error::host_not_found)
                                                   : boost::system::error_code(boost::asio::error::not_found);
        auto list = std::make_shared<endpoint_list>(endpoints);
        connect_each(*sock_.lowest_layer(), list, 0, protocol_ == "https", none,
                     [this, handler](const boost::system::error_code& ec) {
                         if (ec) return complete(handler, ec);
                         connected(handler);
                     });
    });
}

void http_stream::connect_each(tcp_socket& s, std::shared_ptr<endpoint_list> endpoints, std::size_t index,
                               bool handshake, boost::system::error_code last, const open_handler& handler) {
    if (index >= endpoints->size()) return handler(last);
    boost::system::error_code ignored;
    s.close(ignored);
    if (handshake && index > 0) {
        // A failed handshake leaves the TLS state unusable: start afresh.
        boost::system::error_code ec = setup_tls();
        if (ec) return handler(ec);
    }
    s.async_connect((*endpoints)[index],
                    [this, &s, endpoints, index, handshake, handler](const boost::system::error_code& ec) {
                        if (ec == boost::asio::error::operation_aborted || timed_out_) return handler(ec);
                        if (ec) return connect_each(s, endpoints, index + 1, handshake, ec, handler);
                        if (!handshake) return handler(ec);
                        sock_.tls()->stream().async_handshake(
                            boost::asio::ssl::stream_base::client,
                            [this, &s, endpoints, index, handler](const boost::system::error_code& ec) {
                                if (!ec || ec == boost::asio::error::operation_aborted || timed_out_)
                                    return handler(ec);
                                connect_each(s, endpoints, index + 1, true, ec, handler);
                            });
                    });
}

void http_stream::tls_handshake(const open_handler& handler) {
    sock_.tls()->stream().async_handshake(boost::asio::ssl::stream_base::client,
                                          [this, handler](const boost::system::error_code& ec) {
                                              if (ec) return complete(handler, ec);
                                              response_buffer_.consume(response_buffer_.size());
                                              connected(handler);
                                          });
}

void http_stream::connected(const open_handler& handler) {
    if (blocking_) {
        boost::system::error_code ec;
        sock_.set_option(boost::asio::ip::tcp::no_delay(true), ec);
        if (ec) return complete(handler, ec);
    }
    start_request(user_request_options_, handler, blocking_);
}

void http_stream::close(boost::system::error_code& ec) {
    ec = boost::system::error_code();
    // Also ends a resolve or a pending time limit of an open under way.
    resolver_.cancel();
    disarm_deadline();
    if (!sock_.is_open()) {
        boost::system::error_code ignored;
        tunnel_socket_.close(ignored);
        return;
    }
    sock_.close(ec);
    boost::system::error_code ignored;
    tunnel_socket_.close(ignored);
    request_buffer_.consume(request_buffer_.size());
    response_buffer_.consume(response_buffer_.size());
    content_type_.clear();
    location_.clear();
    protocol_.clear();
}

}  // namespace dlhttp
