#pragma once

// The TLS client sessions of one TLS context, one per server ("host:port"):
// a connection to a server that was reached before offers the session of
// that connection, and a server that accepts it skips the certificate
// exchange and the key agreement of a full handshake. Safe to use from any
// thread (the download tasks run on threads of their own).
//
// Sessions are kept as the server hands them out: OpenSSL calls `store` for
// each new session (with TLS 1.3 the tickets come after the handshake, while
// the first answer is read), so the cache never has to ask a connection for
// its session at the right moment. The cache keeps copies and offers copies:
// OpenSSL marks the session of a connection that is freed without a TLS
// shutdown (as the stream closes its connections) as not resumable.

#include <cstddef>
#include <map>
#include <mutex>
#include <string>

#include <boost/noncopyable.hpp>
#include <openssl/ssl.h>

namespace dlhttp {
namespace detail {

class tls_session_cache : private boost::noncopyable {
public:
    // Most servers kept; when full, the oldest entry in key order is dropped.
    static const std::size_t max_servers = 256;

    tls_session_cache() = default;
    ~tls_session_cache();

    // Keeps a copy of `session` for `server`, replacing the one kept before;
    // a session that cannot be resumed is not kept.
    void store(const std::string& server, SSL_SESSION* session);
    // Sets the session kept for `server` on `ssl` before its handshake; false
    // when there is none.
    bool offer(const std::string& server, SSL* ssl);
    std::size_t size() const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, SSL_SESSION*> sessions_;
};

}  // namespace detail
}  // namespace dlhttp
