// Feeds the input to an http_stream as a server's answer over a loopback
// connection in the same io_context, and reads the whole response: head,
// body (chunked, gzip, by length or to the end) in the blocking or the
// asynchronous form. Built twice: fuzz_http_response takes the input as the
// whole answer, fuzz_chunked_body puts it behind a chunked head (gzip-coded
// when the mode byte asks for it) so every input reaches the chunk decoder.
// The first input byte chooses the form, keep-alive and the read size.
//
// One io_context and one listener serve every input of the process: binding
// a listener per input runs out of ephemeral ports after some ten thousand
// inputs (each closed connection keeps its port in TIME_WAIT), and setting
// both up is most of the time an input takes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/asio/write.hpp>

#include "dlhttp/http_stream.h"

namespace {

using boost::asio::ip::tcp;

// The loopback server of the whole process; one connection per input.
struct Server {
    Server() : acceptor(io), socket(io) {
        const tcp::endpoint endpoint(boost::asio::ip::make_address("127.0.0.1"), 0);
        acceptor.open(endpoint.protocol());
        acceptor.bind(endpoint);
        acceptor.listen();
        port = acceptor.local_endpoint().port();
    }
    boost::asio::io_context io;
    tcp::acceptor acceptor;
    tcp::socket socket;
    unsigned short port = 0;
    boost::asio::streambuf request;
    std::string reply;
    bool done = false;
};

Server& server() {
    static Server* instance = new Server;  // never freed: it lives as long as the process
    return *instance;
}

void run_until(boost::asio::io_context& io, const bool& flag) {
    while (!flag) {
        if (io.stopped()) io.restart();
        if (io.run_one() == 0) break;
    }
}

// Accepts one connection, reads the request, answers with `reply` and ends
// its sending side.
void serve_one(Server& s) {
    s.acceptor.async_accept(s.socket, [&s](const boost::system::error_code& ec) {
        if (ec) return void(s.done = true);
        boost::asio::async_read_until(
            s.socket, s.request, "\r\n\r\n", [&s](const boost::system::error_code& ec, std::size_t) {
                if (ec) return void(s.done = true);
                boost::asio::async_write(s.socket, boost::asio::buffer(s.reply),
                                         [&s](const boost::system::error_code&, std::size_t) {
                                             boost::system::error_code ignored;
                                             s.socket.shutdown(tcp::socket::shutdown_send, ignored);
                                             s.done = true;
                                         });
            });
    });
}

// Ends what is left of one input: the server's connection, an accept that no
// client reached, and every handler still queued, so the next input starts
// on an idle io_context.
void finish_input(Server& s) {
    boost::system::error_code ignored;
    s.acceptor.cancel(ignored);
    s.socket.close(ignored);
    s.io.restart();
    s.io.poll();
    s.io.restart();
    s.request.consume(s.request.size());
    s.done = false;
}

// Closes the stream and runs the handlers that close() ended while it lives.
void close_stream(boost::asio::io_context& io, dlhttp::http_stream& stream) {
    boost::system::error_code ignored;
    stream.close(ignored);
    io.restart();
    io.poll();
}

void read_answer(Server& s, const std::string& input, bool async, bool keep_alive, std::size_t read_size) {
    boost::asio::io_context& io = s.io;
    s.reply = input;
    serve_one(s);

    dlhttp::http_stream stream(io);
    dlhttp::option_list options;
    options.insert("Connection", keep_alive ? "keep-alive" : "close");
    stream.request_options(options);
    stream.max_redirects(0);  // never leave the loopback server
    stream.max_inflated_bytes(1 << 20);
    const dlhttp::url target("http://127.0.0.1:" + std::to_string(s.port) + "/fuzz");
    boost::system::error_code ec;
    if (async) {
        bool opened = false;
        stream.async_open(target, [&](const boost::system::error_code& e) {
            ec = e;
            opened = true;
        });
        run_until(io, opened);
    } else {
        try {
            stream.open(target, ec);
        } catch (const boost::system::system_error&) {
            return close_stream(io, stream);
        }
    }
    // The whole answer is on its way: let the server finish, so a body that
    // ends with the connection sees its end.
    run_until(io, s.done);

    std::string buffer(read_size, '\0');
    for (int reads = 0; reads < 100000; ++reads) {
        std::size_t n = 0;
        boost::system::error_code read_error;
        if (async) {
            bool done = false;
            stream.async_read_some(boost::asio::buffer(&buffer[0], buffer.size()),
                                   [&](const boost::system::error_code& e, std::size_t got) {
                                       read_error = e;
                                       n = got;
                                       done = true;
                                   });
            run_until(io, done);
            if (!done) break;
        } else {
            n = stream.read_some(boost::asio::buffer(&buffer[0], buffer.size()), read_error);
        }
        if (n > buffer.size()) std::abort();
        if (n == 0 || read_error) break;
    }
    close_stream(io, stream);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const unsigned mode = data[0];
    const bool async = mode & 1;
    const bool keep_alive = mode & 2;
    const std::size_t read_size = 1 + ((mode >> 2) & 7) * 613;
    std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
#ifdef FUZZ_CHUNKED
    std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n";
    if (mode & 32) head += "Content-Encoding: gzip\r\n";
    input = head + "\r\n" + input;
#endif

    Server& s = server();
    read_answer(s, input, async, keep_alive, read_size);
    finish_input(s);
    return 0;
}
