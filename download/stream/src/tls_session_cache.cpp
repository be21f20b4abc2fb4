#include "dlhttp/tls_session_cache.h"

namespace dlhttp {
namespace detail {

tls_session_cache::~tls_session_cache() {
    for (auto& entry : sessions_) SSL_SESSION_free(entry.second);
}

void tls_session_cache::store(const std::string& server, SSL_SESSION* session) {
    if (!session || !SSL_SESSION_is_resumable(session)) return;
    session = SSL_SESSION_dup(session);
    if (!session) return;
    SSL_SESSION* replaced = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = sessions_.find(server);
        if (it != sessions_.end()) {
            replaced = it->second;
            it->second = session;
        } else {
            if (sessions_.size() >= max_servers) {
                replaced = sessions_.begin()->second;
                sessions_.erase(sessions_.begin());
            }
            sessions_.emplace(server, session);
        }
    }
    if (replaced) SSL_SESSION_free(replaced);
}

bool tls_session_cache::offer(const std::string& server, SSL* ssl) {
    SSL_SESSION* copy = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = sessions_.find(server);
        if (it == sessions_.end()) return false;
        copy = SSL_SESSION_dup(it->second);
    }
    if (!copy) return false;
    // SSL_set_session takes a reference of its own.
    bool offered = SSL_set_session(ssl, copy) == 1;
    SSL_SESSION_free(copy);
    return offered;
}

std::size_t tls_session_cache::size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sessions_.size();
}

}  // namespace detail
}  // namespace dlhttp
