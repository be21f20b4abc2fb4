#include "dlhttp/tls_context.h"

#include <map>
#include <mutex>
#include <utility>

#include <sys/stat.h>

namespace dlhttp {
namespace detail {

namespace {

// OpenSSL's extra-data slots: the tls_context of an SSL_CTX, and the server
// ("host:port") of an SSL whose sessions are kept.
int context_slot() {
    static const int slot = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return slot;
}
int server_slot() {
    static const int slot = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return slot;
}

// What tells a file's content apart without reading it: device, inode, size
// and modification time; empty when there is no such file.
std::string file_identity(const std::string& path) {
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::string();
    return std::to_string(st.st_dev) + ':' + std::to_string(st.st_ino) + ':' + std::to_string(st.st_size) + ':' +
           std::to_string(st.st_mtim.tv_sec) + '.' + std::to_string(st.st_mtim.tv_nsec);
}

struct cached_context {
    std::string ca_file_identity;
    std::shared_ptr<tls_context> context;
};

// The process-wide table. Never freed: contexts must not be freed after
// OpenSSL has cleaned up at exit.
std::mutex& table_mutex() {
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}
std::map<std::string, cached_context>& table() {
    static auto* contexts = new std::map<std::string, cached_context>;
    return *contexts;
}

}  // namespace

std::shared_ptr<tls_context> tls_context::shared(bool verify, const std::string& ca_file,
                                                 const std::string& ca_directory, boost::system::error_code& ec) {
    ec = boost::system::error_code();
    std::string key = (verify ? "verify" : "no-verify") + std::string(1, '\0') + ca_file + '\0' + ca_directory;
    std::string identity = file_identity(ca_file);
    // Loading happens under the lock: the connections that a download starts
    // together wait for one load instead of each loading the store.
    std::lock_guard<std::mutex> lock(table_mutex());
    auto it = table().find(key);
    if (it != table().end() && it->second.ca_file_identity == identity) return it->second.context;
    std::shared_ptr<tls_context> made(new tls_context);
    ec = made->load(ca_file, ca_directory);
    if (ec) return nullptr;
    table()[key] = cached_context{identity, made};
    return made;
}

tls_context::tls_context() : context_(boost::asio::ssl::context::sslv23_client) {
    SSL_CTX* native = context_.native_handle();
    SSL_CTX_set_ex_data(native, context_slot(), this);
    // The client cache is ours (per server); OpenSSL's own would only grow.
    SSL_CTX_set_session_cache_mode(native, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(native, &tls_context::on_new_session);
}

boost::system::error_code tls_context::load(const std::string& ca_file, const std::string& ca_directory) {
    // Errors of the default locations are ignored: a missing system store
    // shows up as a failed check at the handshake.
    boost::system::error_code ec;
    context_.set_default_verify_paths(ec);
    context_.set_verify_mode(boost::asio::ssl::verify_none, ec);
    ec = boost::system::error_code();
    if (!ca_directory.empty()) {
        context_.add_verify_path(ca_directory, ec);
        if (ec) return ec;
    }
    if (!ca_file.empty()) context_.load_verify_file(ca_file, ec);
    return ec;
}

void tls_context::watch_sessions(SSL* ssl, const std::string* server) {
    SSL_set_ex_data(ssl, server_slot(), const_cast<std::string*>(server));
}

int tls_context::on_new_session(SSL* ssl, SSL_SESSION* session) {
    auto* self = static_cast<tls_context*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), context_slot()));
    auto* server = static_cast<const std::string*>(SSL_get_ex_data(ssl, server_slot()));
    if (self && server) self->sessions_.store(*server, session);
    return 0;  // the cache keeps a copy; OpenSSL drops the reference it passed
}

}  // namespace detail
}  // namespace dlhttp
