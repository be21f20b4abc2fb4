#pragma once
// A small scripted TCP server on 127.0.0.1 (or ::1) for the stream tests: it
// accepts connections one after the other on a thread of its own and runs the
// test's script on each, so a test can capture the exact request bytes and
// answer with exactly the bytes it wants (also misbehaving ones: silence,
// endless heads, broken chunks, SOCKS replies).
//
//   ScriptedServer server([](ScriptedServer::Connection& c) {
//       c.readHead();
//       c.write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nhi");
//   });
//   ... open server.url("/x") ...
//   server.received(0)   // the bytes of the first connection
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ScriptedServer {
public:
    class Connection {
    public:
        Connection(ScriptedServer& server, boost::asio::ip::tcp::socket& socket, std::size_t index);
        // Reads until "\r\n\r\n" (or the end); returns everything read so far
        // on this connection that belongs to that head.
        std::string readHead();
        // Reads exactly n bytes (fewer at the end of the connection).
        std::string readExactly(std::size_t n);
        // Reads until the peer closes or `stop()` is called.
        std::string readToEnd();
        void write(const std::string& bytes);
        // Blocks until the server is stopped (a silent peer).
        void waitForStop();
        void close();
        std::size_t index() const { return m_index; }
        bool stopped() const;

    private:
        ScriptedServer& m_server;
        boost::asio::ip::tcp::socket& m_socket;
        std::size_t m_index;
        std::string m_pending;  // read but not yet handed out
    };
    using Script = std::function<void(Connection&)>;

    explicit ScriptedServer(Script script, bool ipv6 = false);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    unsigned short port() const { return m_port; }
    // "http://127.0.0.1:<port><path>" (or "[::1]").
    std::string url(const std::string& path = "/", const std::string& scheme = "http") const;

    // Everything read on connection i so far.
    std::string received(std::size_t i) const;
    std::size_t connectionCount() const;
    // Waits until connection i has ended (its script returned).
    void waitForConnection(std::size_t i);
    void stop();

private:
    void run();
    void append(std::size_t i, const std::string& bytes);

    Script m_script;
    boost::asio::io_context m_io;
    boost::asio::ip::tcp::acceptor m_acceptor;
    unsigned short m_port = 0;
    bool m_ipv6;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_received;
    std::size_t m_finished = 0;
    bool m_stop = false;
    int m_activeSocket = -1;
};
