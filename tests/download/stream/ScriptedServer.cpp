#include "ScriptedServer.h"

#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

#include <sys/socket.h>

using boost::asio::ip::tcp;

ScriptedServer::Connection::Connection(ScriptedServer& server, tcp::socket& socket, std::size_t index)
    : m_server(server),
      m_socket(socket),
      m_index(index) {}

bool ScriptedServer::Connection::stopped() const {
    std::lock_guard<std::mutex> lock(m_server.m_mutex);
    return m_server.m_stop;
}

std::string ScriptedServer::Connection::readHead() {
    for (;;) {
        std::size_t end = m_pending.find("\r\n\r\n");
        if (end != std::string::npos) {
            std::string head = m_pending.substr(0, end + 4);
            m_pending.erase(0, end + 4);
            return head;
        }
        char buf[4096];
        boost::system::error_code ec;
        std::size_t n = m_socket.read_some(boost::asio::buffer(buf), ec);
        if (n == 0 || ec) {
            std::string rest;
            rest.swap(m_pending);
            return rest;
        }
        m_server.append(m_index, std::string(buf, n));
        m_pending.append(buf, n);
    }
}

std::string ScriptedServer::Connection::readExactly(std::size_t n) {
    while (m_pending.size() < n) {
        char buf[4096];
        boost::system::error_code ec;
        std::size_t got = m_socket.read_some(boost::asio::buffer(buf, std::min(sizeof buf, n - m_pending.size())), ec);
        if (got == 0 || ec) break;
        m_server.append(m_index, std::string(buf, got));
        m_pending.append(buf, got);
    }
    std::string out = m_pending.substr(0, n);
    m_pending.erase(0, out.size());
    return out;
}

std::string ScriptedServer::Connection::readToEnd() {
    std::string out;
    out.swap(m_pending);
    for (;;) {
        char buf[4096];
        boost::system::error_code ec;
        std::size_t n = m_socket.read_some(boost::asio::buffer(buf), ec);
        if (n == 0 || ec) return out;
        m_server.append(m_index, std::string(buf, n));
        out.append(buf, n);
    }
}

void ScriptedServer::Connection::write(const std::string& bytes) {
    boost::system::error_code ec;
    boost::asio::write(m_socket, boost::asio::buffer(bytes), ec);
}

void ScriptedServer::Connection::waitForStop() {
    std::unique_lock<std::mutex> lock(m_server.m_mutex);
    m_server.m_changed.wait(lock, [this] { return m_server.m_stop; });
}

void ScriptedServer::Connection::close() {
    boost::system::error_code ec;
    m_socket.shutdown(tcp::socket::shutdown_both, ec);
    m_socket.close(ec);
}

ScriptedServer::ScriptedServer(Script script, bool ipv6) : m_script(std::move(script)), m_acceptor(m_io), m_ipv6(ipv6) {
    tcp::endpoint endpoint(boost::asio::ip::make_address(ipv6 ? "::1" : "127.0.0.1"), 0);
    m_acceptor.open(endpoint.protocol());
    m_acceptor.set_option(tcp::acceptor::reuse_address(true));
    m_acceptor.bind(endpoint);
    m_acceptor.listen();
    m_port = m_acceptor.local_endpoint().port();
    m_thread = std::thread([this] { run(); });
}

ScriptedServer::~ScriptedServer() { stop(); }

void ScriptedServer::stop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stop && !m_thread.joinable()) return;
        m_stop = true;
        // Wakes the thread from accept() and from a read on the connection.
        ::shutdown(m_acceptor.native_handle(), SHUT_RDWR);
        if (m_activeSocket >= 0) ::shutdown(m_activeSocket, SHUT_RDWR);
    }
    m_changed.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

std::string ScriptedServer::url(const std::string& path, const std::string& scheme) const {
    return scheme + "://" + (m_ipv6 ? "[::1]" : "127.0.0.1") + ":" + std::to_string(m_port) + path;
}

std::string ScriptedServer::received(std::size_t i) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return i < m_received.size() ? m_received[i] : std::string();
}

std::size_t ScriptedServer::connectionCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received.size();
}

void ScriptedServer::waitForConnection(std::size_t i) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this, i] { return m_finished > i || m_stop; });
}

void ScriptedServer::append(std::size_t i, const std::string& bytes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_received[i] += bytes;
}

void ScriptedServer::run() {
    for (;;) {
        tcp::socket socket(m_io);
        boost::system::error_code ec;
        m_acceptor.accept(socket, ec);
        std::size_t index;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (ec || m_stop) return;
            index = m_received.size();
            m_received.emplace_back();
            m_activeSocket = socket.native_handle();
        }
        Connection connection(*this, socket, index);
        m_script(connection);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_activeSocket = -1;
            ++m_finished;
        }
        m_changed.notify_all();
        socket.close(ec);
    }
}
