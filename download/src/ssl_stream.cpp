#include "dlhttp/ssl_stream.h"

namespace dlhttp {
namespace detail {

ssl_stream::ssl_stream(boost::asio::ip::tcp::socket& socket)
    : socket_(socket),
      context_(boost::asio::ssl::context::sslv23_client),
      stream_(socket_, context_) {
    boost::system::error_code ignored;
    context_.set_default_verify_paths(ignored);
    context_.set_verify_mode(boost::asio::ssl::verify_none, ignored);
}

}  // namespace detail
}  // namespace dlhttp
