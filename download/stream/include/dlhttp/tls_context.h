#pragma once

// A TLS client context shared by every connection that is set up the same
// way: the trust store (the system's default CA locations plus the CA
// directory and CA file given) is loaded once, not at every connection
// (loading the system store decodes every certificate in it), and the
// context's session cache lets further connections to a server resume the
// session of the first.
//
//   boost::system::error_code ec;
//   std::shared_ptr<tls_context> context = tls_context::shared(true, ca_file, "", ec);
//   ssl_stream tls(socket, context);
//
// A context is read-only once `shared` has returned it; only its session
// cache changes, under a lock of its own. Contexts are kept for the whole
// process, one per combination of verification, CA file and CA directory;
// a CA file that changed on disk (another size, time or file) is loaded anew.
// The verification switch is part of the key although it is applied to each
// connection: a session made without checking the certificate must never be
// resumed by a connection that checks it.

#include <memory>
#include <string>

#include <boost/asio/ssl/context.hpp>
#include <boost/noncopyable.hpp>
#include <boost/system/error_code.hpp>

#include "dlhttp/tls_session_cache.h"

namespace dlhttp {
namespace detail {

class tls_context : private boost::noncopyable {
public:
    // The context for these settings, made on first use. A CA file or
    // directory that cannot be loaded gives its error (asio ssl category) and
    // no context; nothing is kept then, so the next call tries again.
    static std::shared_ptr<tls_context> shared(bool verify, const std::string& ca_file, const std::string& ca_directory,
                                               boost::system::error_code& ec);

    // For making streams over it; never to be changed.
    boost::asio::ssl::context& context() { return context_; }
    tls_session_cache& sessions() { return sessions_; }

    // Lets the context keep the sessions of `ssl` for `server` ("host:port");
    // `server` must outlive `ssl`.
    void watch_sessions(SSL* ssl, const std::string* server);

private:
    tls_context();
    boost::system::error_code load(const std::string& ca_file, const std::string& ca_directory);
    static int on_new_session(SSL* ssl, SSL_SESSION* session);

    boost::asio::ssl::context context_;
    tls_session_cache sessions_;
};

}  // namespace detail
}  // namespace dlhttp
