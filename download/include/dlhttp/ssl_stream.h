#pragma once

// One TLS client connection over a TCP socket owned by someone else (the
// stream's tunnel socket, on which a proxy tunnel may have been set up first).
// Each instance has a context of its own, so CA settings of one open never
// leak into the next.

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/noncopyable.hpp>

namespace dlhttp {
namespace detail {

class ssl_stream : private boost::noncopyable {
public:
    typedef boost::asio::ssl::stream<boost::asio::ip::tcp::socket&> stream_type;

    // Loads the default CA locations and starts with verify mode none; errors
    // of both steps are ignored (a failed check shows up at the handshake).
    explicit ssl_stream(boost::asio::ip::tcp::socket& socket);

    boost::asio::ssl::context& context() { return context_; }
    stream_type& stream() { return stream_; }
    boost::asio::ip::tcp::socket& socket() { return socket_; }

private:
    boost::asio::ip::tcp::socket& socket_;
    boost::asio::ssl::context context_;
    stream_type stream_;
};

}  // namespace detail
}  // namespace dlhttp
