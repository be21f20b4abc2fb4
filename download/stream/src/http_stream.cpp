// The stream object, opening a URL and the way to a connected socket: scheme
// check, name resolution, connecting to each endpoint, routing through a
// proxy, TLS set-up, redirects, time limits and close.
#include "dlhttp/http_stream.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl/host_name_verification.hpp>
#include <boost/system/system_error.hpp>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "dlhttp/http_error.h"
#include "dlhttp/text.h"

namespace dlhttp {

using detail::decimal;

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

void http_stream::complete(const operation& op, boost::system::error_code ec) {
    disarm_deadline();
    if (ec && timed_out_) ec = boost::asio::error::timed_out;
    timed_out_ = false;
    op.handler(ec);
}

void http_stream::complete_soon(const operation& op, const boost::system::error_code& ec) {
    disarm_deadline();
    timed_out_ = false;
    open_handler handler = op.handler;
    boost::asio::post(io_, [handler, ec]() { handler(ec); });
}

void http_stream::open(const url& u, boost::system::error_code& ec) {
    bool done = false;
    begin_open(
        u,
        [&](const boost::system::error_code& result) {
            ec = result;
            done = true;
        },
        true);
    run_until(done);
    // The blocking open reports a redirect target that is no URL as the URL
    // parser does.
    if (ec == make_error_code(invalid_redirect_address))
        throw boost::system::system_error(boost::system::errc::make_error_code(boost::system::errc::invalid_argument));
}

void http_stream::begin_open(const url& u, const open_handler& handler, bool blocking) {
    arm_deadline();
    location_.clear();
    start_open(u, operation{handler, blocking});
}

boost::system::error_code http_stream::prepare_open(const url& u) {
    protocol_ = u.scheme();
    url_ = u;
    reset_response();
    request_buffer_.consume(request_buffer_.size());
    response_buffer_.consume(response_buffer_.size());
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

void http_stream::start_open(const url& u, const operation& op) {
    boost::system::error_code ec = prepare_open(u);
    if (ec) return complete_soon(op, ec);
    if (protocol_ == "http") {
        sock_.install_plain();
    } else {
        ec = setup_tls();
        if (ec) return complete_soon(op, ec);
    }
    int kind = proxy_.kind;
    if (kind < proxy_none || kind > proxy_http_auth) {
        if (op.blocking) return complete_soon(op, boost::asio::error::operation_not_supported);
        kind = proxy_none;
    }
    tcp_socket& bottom = protocol_ == "http" ? *sock_.lowest_layer() : tunnel_socket_;
    switch (kind) {
    case proxy_socks4:
    case proxy_socks5:
    case proxy_socks5_auth: socks_proxy_open(bottom, op); break;
    case proxy_http:
    case proxy_http_auth:
        if (protocol_ == "http")
            connect_direct(op);
        else
            http_proxy_tunnel(bottom, op);
        break;
    default: connect_direct(op); break;
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

void http_stream::connect_direct(const operation& op) {
    bool through_proxy = (proxy_.kind == proxy_http || proxy_.kind == proxy_http_auth) && protocol_ == "http";
    std::string host = through_proxy ? proxy_.host : url_.host();
    std::string service = through_proxy ? decimal(proxy_.port) : decimal(static_cast<uint16_t>(url_.port()));
    resolve(host, service, [this, op](const boost::system::error_code& ec, const endpoint_list& endpoints) {
        if (ec) return complete(op, ec);
        body_bytes_read_ = 0;
        // The blocking open reports a name without address as host not found,
        // the asynchronous one as not found.
        boost::system::error_code none = op.blocking ? boost::system::error_code(boost::asio::error::host_not_found)
                                                     : boost::system::error_code(boost::asio::error::not_found);
        auto list = std::make_shared<endpoint_list>(endpoints);
        connect_each(*sock_.lowest_layer(), list, 0, protocol_ == "https", none,
                     [this, op](const boost::system::error_code& ec) {
                         if (ec) return complete(op, ec);
                         connected(op);
                     });
    });
}

// The socket is made close-on-exec from the start (asio's own open is not):
// a program that the caller starts meanwhile, like the installer the updater
// runs, must not inherit a connection.
boost::system::error_code http_stream::open_close_on_exec(tcp_socket& s, const boost::asio::ip::tcp& protocol) {
    boost::system::error_code ec;
    const int fd = ::socket(protocol.family(), SOCK_STREAM | SOCK_CLOEXEC, protocol.protocol());
    if (fd < 0) return boost::system::error_code(errno, boost::system::system_category());
    s.assign(protocol, fd, ec);
    if (ec) ::close(fd);
    return ec;
}

void http_stream::connect_each(tcp_socket& s, std::shared_ptr<endpoint_list> endpoints, std::size_t index,
                               bool handshake, boost::system::error_code last, const open_handler& next) {
    if (index >= endpoints->size()) return next(last);
    boost::system::error_code ignored;
    s.close(ignored);
    if (handshake && index > 0) {
        // A failed handshake leaves the TLS state unusable: start afresh.
        boost::system::error_code ec = setup_tls();
        if (ec) return next(ec);
    }
    boost::system::error_code opened = open_close_on_exec(s, (*endpoints)[index].protocol());
    if (opened) return connect_each(s, endpoints, index + 1, handshake, opened, next);
    s.async_connect((*endpoints)[index], [this, &s, endpoints, index, handshake,
                                          next](const boost::system::error_code& ec) {
        if (ec == boost::asio::error::operation_aborted || timed_out_) return next(ec);
        if (ec) return connect_each(s, endpoints, index + 1, handshake, ec, next);
        if (!handshake) return next(ec);
        sock_.tls()->stream().async_handshake(boost::asio::ssl::stream_base::client,
                                              [this, &s, endpoints, index, next](const boost::system::error_code& ec) {
                                                  if (!ec || ec == boost::asio::error::operation_aborted || timed_out_)
                                                      return next(ec);
                                                  connect_each(s, endpoints, index + 1, true, ec, next);
                                              });
    });
}

void http_stream::tls_handshake(const operation& op) {
    sock_.tls()->stream().async_handshake(boost::asio::ssl::stream_base::client,
                                          [this, op](const boost::system::error_code& ec) {
                                              if (ec) return complete(op, ec);
                                              response_buffer_.consume(response_buffer_.size());
                                              connected(op);
                                          });
}

void http_stream::connected(const operation& op) {
    if (op.blocking) {
        boost::system::error_code ec;
        sock_.set_option(boost::asio::ip::tcp::no_delay(true), ec);
        if (ec) return complete(op, ec);
    }
    start_request(user_request_options_, op);
}

void http_stream::close(boost::system::error_code& ec) {
    ec = boost::system::error_code();
    // Also ends a resolve or a pending time limit of an open under way, and
    // a body read step already queued.
    resolver_.cancel();
    disarm_deadline();
    ++read_generation_;
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
