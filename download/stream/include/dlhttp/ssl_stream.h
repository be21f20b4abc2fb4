#pragma once

// One TLS client connection over a TCP socket owned by someone else (the
// stream's tunnel socket, on which a proxy tunnel may have been set up first).
// The TLS context (trust store, session cache) is shared with every other
// connection set up the same way (tls_context); what differs per connection
// (server name, verify mode, host-name check) is set on the stream itself;
// the shared context is not reachable from here, so no connection can change
// what the others trust.

#include <cstdint>
#include <memory>
#include <string>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/noncopyable.hpp>

#include "dlhttp/tls_context.h"

namespace dlhttp {
namespace detail {

class ssl_stream : private boost::noncopyable {
public:
    typedef boost::asio::ssl::stream<boost::asio::ip::tcp::socket&> stream_type;

    // Starts with the context's verify mode (none).
    ssl_stream(boost::asio::ip::tcp::socket& socket, std::shared_ptr<tls_context> context);

    // Offers the session of an earlier connection to host:port at the
    // handshake, and keeps the sessions this connection gets for the next.
    // True when there was one to offer; whether the server took it is
    // SSL_session_reused after the handshake.
    bool resume_session(const std::string& host, uint16_t port);

    stream_type& stream() { return stream_; }
    boost::asio::ip::tcp::socket& socket() { return socket_; }

private:
    boost::asio::ip::tcp::socket& socket_;
    std::shared_ptr<tls_context> context_;
    std::string server_;  // "host:port" whose sessions this connection uses; outlives stream_
    stream_type stream_;
};

}  // namespace detail
}  // namespace dlhttp
