// Feeds the input to an http_stream as a server's answer over a loopback
// connection in the same io_context, and reads the whole response: head,
// body (chunked, gzip, by length or to the end) in the blocking or the
// asynchronous form. Built twice: fuzz_http_response takes the input as the
// whole answer, fuzz_chunked_body puts it behind a chunked head (gzip-coded
// when the mode byte asks for it) so every input reaches the chunk decoder.
// The first input byte chooses the form, keep-alive and the read size.
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

struct Server {
    explicit Server(boost::asio::io_context& io) : acceptor(io), socket(io) {}
    tcp::acceptor acceptor;
    tcp::socket socket;
    boost::asio::streambuf request;
    std::string reply;
    bool done = false;
};

void run_until(boost::asio::io_context& io, const bool& flag) {
    while (!flag) {
        if (io.stopped()) io.restart();
        if (io.run_one() == 0) break;
    }
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

    boost::asio::io_context io;
    Server server(io);
    tcp::endpoint endpoint(boost::asio::ip::make_address("127.0.0.1"), 0);
    server.acceptor.open(endpoint.protocol());
    server.acceptor.bind(endpoint);
    server.acceptor.listen();
    const unsigned short port = server.acceptor.local_endpoint().port();
    server.reply = input;
    // Reads the request, answers with the input and ends its sending side.
    server.acceptor.async_accept(server.socket, [&server](const boost::system::error_code& ec) {
        if (ec) return void(server.done = true);
        boost::asio::async_read_until(
            server.socket, server.request, "\r\n\r\n", [&server](const boost::system::error_code& ec, std::size_t) {
                if (ec) return void(server.done = true);
                boost::asio::async_write(server.socket, boost::asio::buffer(server.reply),
                                         [&server](const boost::system::error_code&, std::size_t) {
                                             boost::system::error_code ignored;
                                             server.socket.shutdown(tcp::socket::shutdown_send, ignored);
                                             server.done = true;
                                         });
            });
    });

    {
        dlhttp::http_stream stream(io);
        dlhttp::option_list options;
        options.insert("Connection", keep_alive ? "keep-alive" : "close");
        stream.request_options(options);
        stream.max_redirects(0);  // never leave the loopback server
        stream.max_inflated_bytes(1 << 20);
        const dlhttp::url target("http://127.0.0.1:" + std::to_string(port) + "/fuzz");
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
                return 0;
            }
        }
        // The whole answer is on its way: let the server finish, so a body that
        // ends with the connection sees its end.
        run_until(io, server.done);

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
        boost::system::error_code ignored;
        stream.close(ignored);
    }
    return 0;
}
