#include "dlhttp/ssl_stream.h"

#include <utility>

namespace dlhttp {
namespace detail {

ssl_stream::ssl_stream(boost::asio::ip::tcp::socket& socket, std::shared_ptr<tls_context> context)
    : socket_(socket),
      context_(std::move(context)),
      stream_(socket_, context_->context()) {}

bool ssl_stream::resume_session(const std::string& host, uint16_t port) {
    // Brackets keep an IPv6 address apart from the port.
    server_ = (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ':' + std::to_string(port);
    SSL* ssl = stream_.native_handle();
    context_->watch_sessions(ssl, &server_);
    return context_->sessions().offer(server_, ssl);
}

}  // namespace detail
}  // namespace dlhttp
